// Tools > "Lab archive...": a connection string with a password is never
// kept, and a test of another connection tells what is wrong in plain words
// without the window waiting for it.
#include "ArchiveSettings.h"
#include "FileContents.h"
#include "WaitUntil.h"
#include "frmLabArchive.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(LabArchiveWindowTest, KeepsNoPasswordAndTellsAFailedTestInPlainWords)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QStringList used;
    frmLabArchive window(ArchiveSettings::connection(), QString(), [&](const QString &c) { used << c; });
    EXPECT_EQ(window.lblInUse->text(), "service=halvern");

    window.txtConnection->setText("host=db.lab.example user=pc12 password=hunter2");
    window.cmdUse->click();
    EXPECT_TRUE(window.lblResult->text().startsWith("A password is never kept"))
        << window.lblResult->text().toStdString();
    EXPECT_TRUE(used.isEmpty());

    const QString nowhere = "host=" + config.filePath("no-server") + " dbname=lab user=pc12";
    window.txtConnection->setText(nowhere);
    bool tested = false;
    QObject::connect(&window, &frmLabArchive::tested, [&] { tested = true; });
    window.cmdTest->click();
    EXPECT_FALSE(window.cmdTest->isEnabled()); // the test runs on its own thread
    ASSERT_TRUE(waitUntil([&] { return tested; }, 20000));
    EXPECT_TRUE(window.lblResult->text().startsWith("The archive server cannot be reached"))
        << window.lblResult->text().toStdString();

    window.cmdUse->click();
    EXPECT_EQ(used, QStringList{nowhere});
    EXPECT_EQ(ArchiveSettings::connection(), nowhere);
    QByteArray settings;
    for (const QFileInfo &file : QDir(config.path()).entryInfoList(QDir::Files | QDir::NoDotAndDotDot))
        settings += readFile(file.filePath());
    for (const QString &dir : QDir(config.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QFileInfo &file : QDir(config.filePath(dir)).entryInfoList(QDir::Files))
            settings += readFile(file.filePath());
    EXPECT_FALSE(settings.contains("hunter2"));
    EXPECT_TRUE(settings.contains("no-server"));
}
