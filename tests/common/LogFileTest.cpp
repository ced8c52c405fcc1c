// The log: its lines, the file's protection, rotation, and a link in the
// file's place.
#include "LogCategories.h"
#include "LogFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {
class LogFileTest : public ::testing::Test {
protected:
    void TearDown() override { LogFile::uninstall(); }

    static mode_t modeOf(const QString &path)
    {
        struct stat info = {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        return info.st_mode & 07777;
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir work;
};
} // namespace

TEST_F(LogFileTest, ALineHoldsTheUtcTimeTheLevelTheCategoryAndTheTextOnOneLine)
{
    const QDateTime at(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::OffsetFromUTC, 3600);
    EXPECT_EQ(LogFile::line(at, QtWarningMsg, "halvern.office", "the save failed\nagain"),
              "2026-03-04T04:06:07.089Z warning halvern.office: the save failed | again\n");
    EXPECT_EQ(LogFile::line(at, QtDebugMsg, nullptr, "x"), "2026-03-04T04:06:07.089Z debug default: x\n");
}

TEST_F(LogFileTest, MessagesReachTheUsersOwnFileInAFolderOnlyTheUserOpens)
{
    const QString path = work.filePath("state/Halvern/halvern.log");
    ASSERT_EQ(LogFile::install(path), std::nullopt);
    qCWarning(lcRun) << "the port went away";
    qCDebug(lcRun) << "not written unless debug is turned on";

    const QByteArray text = contents(path);
    EXPECT_TRUE(text.contains(" warning halvern.run: the port went away\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("not written"));
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(path).path()), 0700u);
}

TEST_F(LogFileTest, AFullFileMovesUpAndOnlyTheLastFewAreKept)
{
    const QString path = work.filePath("halvern.log");
    const qint64 limit = 1000;
    ASSERT_EQ(LogFile::install(path, limit), std::nullopt);
    for (int i = 0; i < 100; ++i)
        qCInfo(lcApp) << "message" << i;

    QStringList files = QDir(work.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, QStringList({"halvern.log", "halvern.log.1", "halvern.log.2", "halvern.log.3"}));
    for (const QString &name : files)
        EXPECT_LE(QFileInfo(work.filePath(name)).size(), limit) << name.toStdString();
    // Nothing lost between the newest files, and the newest message last.
    const QByteArray newest = contents(path);
    EXPECT_TRUE(newest.endsWith("halvern.app: message 99\n")) << newest.toStdString();
    const QByteArray before = contents(path + ".1");
    const int first = newest.mid(newest.indexOf("message ") + 8).split('\n').first().toInt();
    EXPECT_TRUE(before.endsWith("halvern.app: message " + QByteArray::number(first - 1) + "\n"))
        << before.toStdString();
}

TEST_F(LogFileTest, ALinkInTheFilesPlaceIsNotFollowedNorWrittenThrough)
{
    // A symbolic link, and a hard link to somebody's readable file: neither
    // is written nor has its rights changed.
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        QTemporaryDir dir;
        const QString target = dir.filePath("elsewhere.txt");
        QFile other(target);
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("kept\n");
        other.close();
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0644), 0);
        const QString path = dir.filePath("halvern.log");
        if (hard)
            ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
        else
            ASSERT_TRUE(QFile::link(target, path));

        const std::optional<Failure> failure = LogFile::install(path);
        ASSERT_TRUE(failure.has_value());
        EXPECT_TRUE(failure->reason.contains(path)) << failure->reason.toStdString();
        qCWarning(lcApp) << "to stderr alone";
        LogFile::uninstall();
        EXPECT_EQ(contents(target), "kept\n");
        EXPECT_EQ(modeOf(target), 0644u);
    }
}
