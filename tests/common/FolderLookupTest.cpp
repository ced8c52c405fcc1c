// GetFolderPath: the documents folder (5), the all-users data folder (35)
// and the error box for any other identifier. The test main gives every run
// a private HOME and XDG_DATA_DIRS.
#include "FolderLookup.h"
#include "RecordingMessageBoxes.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
// Restores XDG_DATA_DIRS after a test has pointed it elsewhere.
class DataDirs {
public:
    explicit DataDirs(const QString &value) : m_saved(qgetenv("XDG_DATA_DIRS"))
    {
        qputenv("XDG_DATA_DIRS", value.toUtf8());
    }
    ~DataDirs() { qputenv("XDG_DATA_DIRS", m_saved); }

private:
    QByteArray m_saved;
};
} // namespace

TEST(GetFolderPath, PersonalIsTheDocumentsFolderOrElseHome)
{
    RecordingMessageBoxes boxes;
    const QString documents = QDir::homePath() + "/Documents";
    ASSERT_TRUE(QDir().mkpath(documents));
    QString path = "unchanged";
    EXPECT_TRUE(GetFolderPath(CSIDL_PERSONAL, path, boxes));
    EXPECT_EQ(path, documents);

    // A fresh account without a documents folder still gets a folder.
    ASSERT_TRUE(QDir(documents).removeRecursively());
    EXPECT_TRUE(GetFolderPath(CSIDL_PERSONAL, path, boxes));
    EXPECT_EQ(path, QDir::homePath());
    EXPECT_FALSE(path.endsWith('/'));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST(GetFolderPath, CommonAppDataIsTheFirstSharedDataFolder)
{
    QTemporaryDir root;
    const QString first = root.filePath("first");
    const QString second = root.filePath("second");
    ASSERT_TRUE(QDir().mkpath(first));
    ASSERT_TRUE(QDir().mkpath(second));
    RecordingMessageBoxes boxes;
    QString path;
    {
        DataDirs dirs(first + "/:" + second);
        EXPECT_TRUE(GetFolderPath(CSIDL_COMMON_APPDATA, path, boxes));
        EXPECT_EQ(path, first); // no trailing "/"
    }
    // The first entry counts even when a later one exists; a missing folder
    // gives False, no box, and leaves the path as it was.
    {
        DataDirs dirs(root.filePath("missing") + ":" + second);
        path = "unchanged";
        EXPECT_FALSE(GetFolderPath(CSIDL_COMMON_APPDATA, path, boxes));
        EXPECT_EQ(path, "unchanged");
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST(GetFolderPath, OtherIdentifiersShowTheErrorBox)
{
    RecordingMessageBoxes boxes;
    QString path = "unchanged";
    const std::int32_t csidl = 99;
    EXPECT_FALSE(GetFolderPath(csidl, path, boxes));
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(csidl, 99);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, "Failure in modShell:GetFolderPath");
    EXPECT_EQ(boxes.boxes[0].text, "Error code: -2147024809 returned for CSIDL value: 99");
    EXPECT_EQ(boxes.boxes[0].buttons, MessageBoxes::Buttons::Ok);

    EXPECT_FALSE(GetFolderPath(-1, path, boxes));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, "Error code: -2147024809 returned for CSIDL value: -1");
}
