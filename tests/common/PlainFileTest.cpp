// The one door to plain files: what stands in a file's place (a FIFO, a link,
// a folder, a socket, a device, a second name) is refused by name, at once,
// and nothing behind it is read, written or emptied.
#include "FileContents.h"
#include "PlainFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
enum class Entry { Missing, Plain, Fifo, Link, Folder, Socket, HardLink };

struct Case {
    const char *name;
    Entry entry;
    PlainFile::Mode mode;
    const char *refusal; // part of the failure's reason; nullptr when the open works
    const char *left;    // what the file holds afterwards, when it opens
};

const Case kCases[] = {
    {"ReadPlain", Entry::Plain, PlainFile::Mode::Read, nullptr, "mine"},
    {"ReadMissing", Entry::Missing, PlainFile::Mode::Read, "cannot be read: No such file", nullptr},
    {"ReadFifo", Entry::Fifo, PlainFile::Mode::Read, "is a FIFO, not a plain file", nullptr},
    {"ReadLink", Entry::Link, PlainFile::Mode::Read, "is a link, not a plain file", nullptr},
    {"ReadFolder", Entry::Folder, PlainFile::Mode::Read, "is a folder, not a plain file", nullptr},
    {"ReadSocket", Entry::Socket, PlainFile::Mode::Read, "is a socket, not a plain file", nullptr},
    {"ReadHardLink", Entry::HardLink, PlainFile::Mode::Read, nullptr, "other's"},
    {"ReplacePlain", Entry::Plain, PlainFile::Mode::Replace, nullptr, ""},
    {"ReplaceMissing", Entry::Missing, PlainFile::Mode::Replace, nullptr, ""},
    {"ReplaceFifo", Entry::Fifo, PlainFile::Mode::Replace, "is a FIFO, not a plain file", nullptr},
    {"ReplaceLink", Entry::Link, PlainFile::Mode::Replace, "is a link, not a plain file", nullptr},
    {"ReplaceFolder", Entry::Folder, PlainFile::Mode::Replace, "is a folder, not a plain file", nullptr},
    {"ReplaceHardLink", Entry::HardLink, PlainFile::Mode::Replace, "has 2 names (hard links)", nullptr},
    {"AppendPlain", Entry::Plain, PlainFile::Mode::Append, nullptr, "mine"},
    {"AppendFifo", Entry::Fifo, PlainFile::Mode::Append, "is a FIFO, not a plain file", nullptr},
    {"AppendHardLink", Entry::HardLink, PlainFile::Mode::Append, "has 2 names (hard links)", nullptr},
    {"CreateNewMissing", Entry::Missing, PlainFile::Mode::CreateNew, nullptr, ""},
    {"CreateNewPlain", Entry::Plain, PlainFile::Mode::CreateNew, "cannot be written: File exists", nullptr},
};

class PlainFileTest : public ::testing::TestWithParam<Case> {
protected:
    // Puts the entry at path; "other" is someone else's file a link points at.
    void make(Entry entry, const QString &path, const QString &other)
    {
        const QByteArray at = QFile::encodeName(path);
        switch (entry) {
        case Entry::Missing:
            break;
        case Entry::Plain:
            writeFile(path, "mine");
            break;
        case Entry::Fifo:
            ASSERT_EQ(::mkfifo(at.constData(), 0600), 0);
            break;
        case Entry::Link:
            ASSERT_EQ(::symlink(QFile::encodeName(other).constData(), at.constData()), 0);
            break;
        case Entry::Folder:
            ASSERT_EQ(::mkdir(at.constData(), 0700), 0);
            break;
        case Entry::Socket: {
            m_socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, at.constData(), sizeof address.sun_path - 1);
            ASSERT_EQ(::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            break;
        }
        case Entry::HardLink:
            ASSERT_EQ(::link(QFile::encodeName(other).constData(), at.constData()), 0);
            break;
        }
    }
    void TearDown() override
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    QTemporaryDir work;
    int m_socket = -1;
};
} // namespace

TEST_P(PlainFileTest, OpensOnlyAPlainFileAndNamesWhatElseStandsThere)
{
    const Case &c = GetParam();
    const QString path = work.filePath("run.raw");
    const QString other = work.filePath("other");
    writeFile(other, "other's");
    make(c.entry, path, other);

    const Result<std::unique_ptr<QFile>> file = PlainFile::open(path, c.mode);

    if (c.refusal) {
        ASSERT_FALSE(file.ok());
        EXPECT_TRUE(file.failure().reason.startsWith(path)) << file.failure().reason.toStdString();
        EXPECT_TRUE(file.failure().reason.contains(QLatin1String(c.refusal))) << file.failure().reason.toStdString();
    } else {
        ASSERT_TRUE(file.ok()) << file.failure().reason.toStdString();
        (*file)->close();
        EXPECT_EQ(readFile(path), QByteArray(c.left));
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        if (c.entry == Entry::Missing) {
            EXPECT_EQ(info.st_mode & 0777, 0600u);
        }
    }
    EXPECT_EQ(readFile(other), "other's"); // never written, emptied or made private through a name of its own
}

INSTANTIATE_TEST_SUITE_P(Entries, PlainFileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

TEST(PlainFileDevice, ADeviceIsNamedAndTheWholeOfAPlainFileIsRead)
{
    const Result<QByteArray> device = PlainFile::readAll(QStringLiteral("/dev/null"));
    ASSERT_FALSE(device.ok());
    EXPECT_EQ(device.failure().reason, QStringLiteral("/dev/null is a device, not a plain file"));
    EXPECT_EQ(PlainFile::check(QStringLiteral("/dev/null"))->reason, device.failure().reason);

    QTemporaryDir work;
    writeFile(work.filePath("summary"), "a\nb\n");
    const Result<QByteArray> bytes = PlainFile::readAll(work.filePath("summary"));
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(*bytes, "a\nb\n");
    EXPECT_EQ(PlainFile::check(work.filePath("summary")), std::nullopt);
}
