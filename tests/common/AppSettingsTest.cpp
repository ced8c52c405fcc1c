// The settings file: what stands in its place when it is not a plain file (a
// FIFO would hold the first read for good, a link would carry the writes
// elsewhere) is neither read nor written; the defaults hold.
#include "AppSettings.h"
#include "FileContents.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

TEST(AppSettings, SomethingOtherThanAPlainFileInTheSettingsPlaceIsLeftAlone)
{
    const QString path =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Halvern/Halvern.conf";
    const QString other = QFileInfo(path).path() + "/other.conf";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    const QByteArray at = QFile::encodeName(path);
    const struct {
        const char *what;
        std::function<void()> make;
    } cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(at.constData(), 0600), 0); }},
        {"a link", [&] { ASSERT_EQ(::symlink(QFile::encodeName(other).constData(), at.constData()), 0); }},
        {"a folder", [&] { ASSERT_EQ(::mkdir(at.constData(), 0700), 0); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(other, "[Ports]\nlast%20a%20FIFO=COM9\nlast%20a%20link=COM9\nlast%20a%20folder=COM9\n");
        c.make();
        // Settings of the session alone: what one case saves, the next reads.
        const QString key = QString("last ") + c.what;
        EXPECT_EQ(AppSettings::get("Ports", key, "none"), "none");
        AppSettings::save("Ports", key, "COM3");
        EXPECT_EQ(readFile(other), "[Ports]\nlast%20a%20FIFO=COM9\nlast%20a%20link=COM9\nlast%20a%20folder=COM9\n");
        EXPECT_EQ(AppSettings::folder(), QFileInfo(path).path());
        QFile::remove(path);
        QDir(path).removeRecursively();
    }
    // A plain file again: read and kept as before.
    AppSettings::save("Ports", "last", "COM4");
    EXPECT_EQ(AppSettings::get("Ports", "last", "none"), "COM4");
}
