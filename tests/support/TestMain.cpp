// Test entry point: a Qt application object, and a private home, settings,
// data and runtime folder for every test run so no test touches the user's own.
// Numbers are written as in the United States whatever the machine's locale.
// A test case that runs past HALVERN_TEST_CASE_SECONDS ends the program.
#include "CaseBound.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtGlobal>

#ifdef HALVERN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    QTemporaryDir home;
    home.setAutoRemove(qEnvironmentVariableIsEmpty("HALVERN_TEST_KEEP_HOME"));
    const QString h = home.path();
    qputenv("HOME", h.toUtf8());
    qputenv("XDG_CONFIG_HOME", (h + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (h + "/.local/share").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (h + "/run").toUtf8());
    qputenv("XDG_DATA_DIRS", (h + "/shared").toUtf8());
    QDir().mkpath(h + "/run");
    QFile::setPermissions(h + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HALVERN_OFFICE_HEADLESS", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TestApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(
        new CaseBound(std::chrono::seconds(qEnvironmentVariableIntValue("HALVERN_TEST_CASE_SECONDS"))));
    return RUN_ALL_TESTS();
}
