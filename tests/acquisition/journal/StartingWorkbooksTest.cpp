// The store of starting workbooks: one file per content, private, found by
// its hash only while it still holds that content.
#include "FileContents.h"
#include "StartingWorkbooks.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
mode_t modeOf(const QString &path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 0777;
}
} // namespace

TEST(StartingWorkbooks, KeepsEachContentOncePrivatelyUnderItsHash)
{
    QTemporaryDir runs;
    const StartingWorkbooks store(runs.path());
    writeFile(runs.filePath("a/spreadsheet.xls"), "first");
    writeFile(runs.filePath("b/spreadsheet.xls"), "first");
    writeFile(runs.filePath("c/spreadsheet.xls"), "second");

    const Result<QString> a = store.keep(runs.filePath("a/spreadsheet.xls"));
    const Result<QString> b = store.keep(runs.filePath("b/spreadsheet.xls"));
    const Result<QString> c = store.keep(runs.filePath("c/spreadsheet.xls"));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(*a, QString::fromLatin1(QCryptographicHash::hash("first", QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(*a, *b);
    EXPECT_NE(*a, *c);
    EXPECT_EQ(QDir(store.folder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_EQ(modeOf(store.folder()), 0700u);
    const Result<QString> kept = store.find(*a);
    ASSERT_TRUE(kept);
    EXPECT_EQ(readFile(*kept), "first");
    EXPECT_EQ(modeOf(*kept), 0600u);
}

TEST(StartingWorkbooks, AKeptFileChangedOrAbsentIsNotFoundAndKeepingMendsIt)
{
    QTemporaryDir runs;
    const StartingWorkbooks store(runs.path());
    writeFile(runs.filePath("spreadsheet.xls"), "content");
    const Result<QString> hash = store.keep(runs.filePath("spreadsheet.xls"));
    ASSERT_TRUE(hash);
    writeFile(*store.find(*hash), "edited");
    EXPECT_FALSE(store.find(*hash));
    ASSERT_TRUE(store.keep(runs.filePath("spreadsheet.xls")));
    ASSERT_TRUE(store.find(*hash));

    EXPECT_FALSE(store.find(QString(64, 'a')));
    EXPECT_FALSE(store.find("../../etc/passwd"));
}

TEST(StartingWorkbooks, ALinkIsNotTakenForTheWorkbook)
{
    QTemporaryDir runs;
    writeFile(runs.filePath("real.xls"), "content");
    ASSERT_TRUE(QFile::link(runs.filePath("real.xls"), runs.filePath("link.xls")));
    EXPECT_FALSE(StartingWorkbooks(runs.path()).keep(runs.filePath("link.xls")));
}
