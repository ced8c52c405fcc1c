// The lab archive against a real PostgreSQL 15 server on a Unix socket: the
// schema as `--archive-schema` prints it, the sender with the runs folder as
// its queue (while a run goes, with the server stopped, killed mid-piece),
// the rows halvern_writer cannot change, the checks and the fetch, and the
// failures told in plain words.
#include "ArchiveCheck.h"
#include "ArchiveFetch.h"
#include "ArchiveSchema.h"
#include "ArchiveSender.h"
#include "ArchiveThread.h"
#include "ArchiveWords.h"
#include "FileContents.h"
#include "KeptRuns.h"
#include "PostgresServer.h"
#include "ProvenanceGatherer.h"
#include "QStringPrinter.h"
#include "RunFiles.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {
void appendFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
}

const QString kHost = QStringLiteral("pc12");
const QString kRun = QStringLiteral("2026-12-08_10-00-00_COM5");

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.problem().isEmpty()) << server.problem().toStdString();
        QFile schema(folder.filePath("schema.sql"));
        ASSERT_TRUE(schema.open(QIODevice::WriteOnly));
        schema.write(ArchiveSchema::sql());
        schema.close();
        ASSERT_EQ(server.psql("\\i " + schema.fileName()), QString());
        server.addLogin("pc12", "secret");
        runs = folder.filePath("runs");
        QDir().mkpath(runs);
    }

    // The writer's store, as the program has it.
    std::unique_ptr<ArchiveStore> store()
    {
        auto made = ArchiveConnection::open(server.conninfo("pc12"));
        EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.failure().reason.toStdString());
        return made ? std::make_unique<ArchiveStore>(made.value(), kHost) : nullptr;
    }
    QByteArray archived(ArchiveStore::Stream stream)
    {
        if (!store())
            return {};
        auto s = store();
        auto pieces = s->pieces(kRun, stream, kHost);
        QByteArray bytes;
        for (const auto &piece : pieces.value()) {
            EXPECT_EQ(piece.offset, bytes.size()) << "a hole or a piece stored twice";
            bytes += piece.bytes;
        }
        return bytes;
    }
    // Sum of the stored pieces' lengths: more than the file means stored twice.
    qint64 storedLength()
    {
        auto rows = store()->connection().query("SELECT coalesce(sum(length(bytes)), 0) FROM halvern.pieces "
                                                "WHERE stream = 'raw'");
        return rows.value().value(0).value(0).toLongLong();
    }
    QString rawPath() const { return runs + '/' + kRun + ".raw"; }
    // Stop: the journal's last bytes, a saved workbook and the summary naming it.
    QString stop(const QByteArray &lastBytes)
    {
        appendFile(rawPath(), lastBytes);
        const QString workbook = folder.filePath("run.xls");
        writeFile(workbook, "workbook bytes as saved");
        RunSummary summary = stopSummary("2026-12-08 10:00:00", "2026-12-08 11:00:00", 3, workbook);
        summary.rawPath = rawPath();
        summary.bytes = QFileInfo(rawPath()).size();
        summary.provenance = ProvenanceGatherer::gather(rawPath());
        ProvenanceGatherer::addSaved(summary.provenance, workbook);
        writeFile(RunFiles::summaryPathFor(rawPath()), summary.text().toUtf8());
        return workbook;
    }

    PostgresServer server;
    QTemporaryDir folder;
    QString runs;
    ArchiveStatus status;
};

TEST_F(ArchiveTest, BytesArriveWhileTheRunGoesAndTheRecordAndWorkbookAtStop)
{
    writeKeptRun(runs, kRun, "1;2;3\r\n");
    ArchiveThread thread({server.conninfo("pc12"), runs, kHost, 50, {}}, status);
    thread.start();
    ASSERT_TRUE(waitUntil([&] { return archived(ArchiveStore::Stream::Raw) == readFile(rawPath()); }, 20000));
    appendFile(rawPath(), "4;5;6\r\n");
    ASSERT_TRUE(waitUntil([&] { return archived(ArchiveStore::Stream::Raw) == readFile(rawPath()); }, 20000));
    EXPECT_TRUE(waitUntil(
        [&] { return status.archivedText(rawPath()) == "waiting: its bytes are sent; its record at Stop"; }, 20000));

    const QString workbook = stop("7;8;9\r\n");
    ASSERT_TRUE(waitUntil([&] { return status.archivedText(rawPath()) == "sent"; }, 20000));
    EXPECT_EQ(archived(ArchiveStore::Stream::Raw), readFile(rawPath()));
    EXPECT_EQ(archived(ArchiveStore::Stream::Times), readFile(RunFiles::timesPathFor(rawPath())));
    EXPECT_EQ(store()->workbookBytes(kRun, kHost, ArchiveStore::sha256(readFile(workbook))).value(),
              readFile(workbook));
    EXPECT_TRUE(store()->record(kRun, kHost).value().has_value());

    // The manifest grows after Stop (a save, a rebuild): its new entries go too.
    const QString manifest = RunFiles::manifestPathFor(rawPath());
    writeFile(manifest, "halvern run manifest 1\n");
    ASSERT_TRUE(waitUntil([&] { return archived(ArchiveStore::Stream::Manifest) == readFile(manifest); }, 20000));
    appendFile(manifest, "@entry save 0123\n");
    ASSERT_TRUE(waitUntil([&] { return archived(ArchiveStore::Stream::Manifest) == readFile(manifest); }, 20000));
}

TEST_F(ArchiveTest, ServerStoppedBeforeStopGetsEverythingOnceWhenBack)
{
    writeKeptRun(runs, kRun, "1;2;3\r\n");
    ArchiveThread thread({server.conninfo("pc12"), runs, kHost, 50, {}}, status);
    thread.start();
    ASSERT_TRUE(waitUntil([&] { return storedLength() > 0; }, 20000));
    ASSERT_TRUE(server.stop());
    stop(QByteArray(3000, 'x'));
    ASSERT_TRUE(waitUntil(
        [&] {
            return status.archivedText(rawPath()).startsWith("waiting: The archive server "
                                                             "cannot be reached");
        },
        20000))
        << status.archivedText(rawPath()).toStdString();
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(waitUntil([&] { return status.archivedText(rawPath()) == "sent"; }, 70000));
    EXPECT_EQ(archived(ArchiveStore::Stream::Raw), readFile(rawPath()));
    EXPECT_EQ(storedLength(), QFileInfo(rawPath()).size());
}

TEST_F(ArchiveTest, ServerKilledMidPieceLosesAndDoublesNothing)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < 24 * ArchiveSender::kPieceBytes; ++i)
        bytes += QByteArray::number(i) + ";" + QByteArray::number(i * 7 % 1000) + "\r\n";
    writeKeptRun(runs, kRun, bytes);
    ArchiveSender sender(runs, kHost, status);
    std::thread sending([&] {
        auto s = store();
        sender.pass(*s); // ends with the connection lost
    });
    const bool some = waitUntil([&] { return storedLength() > 0; }, 20000);
    server.kill();
    sending.join();
    ASSERT_TRUE(some);
    ASSERT_TRUE(server.start()) << server.problem().toStdString();
    EXPECT_LT(storedLength(), bytes.size()) << "the kill came too late to be mid-run";
    ArchiveSender again(runs, kHost, status); // the next start of the program
    auto s = store();
    ASSERT_FALSE(again.pass(*s).has_value());
    EXPECT_EQ(archived(ArchiveStore::Stream::Raw), bytes);
    EXPECT_EQ(storedLength(), bytes.size());
}

TEST_F(ArchiveTest, APieceSentTwiceIsStoredOnceAndOtherBytesAtItsOffsetAreRefused)
{
    auto s = store();
    ASSERT_FALSE(s->addRun(kRun, {}).has_value());
    EXPECT_EQ(s->addPiece(kRun, ArchiveStore::Stream::Raw, 0, "abc").value(), 3);
    EXPECT_EQ(s->addPiece(kRun, ArchiveStore::Stream::Raw, 0, "abcdef").value(), 3) << "resumes after the stored";
    EXPECT_FALSE(s->addPiece(kRun, ArchiveStore::Stream::Raw, 0, "xbc").ok());
    EXPECT_EQ(storedLength(), 3);
}

TEST_F(ArchiveTest, TheWriterCannotChangeOrRemoveAStoredRow)
{
    auto s = store();
    ASSERT_FALSE(s->addRun(kRun, {}).has_value());
    ASSERT_TRUE(s->addPiece(kRun, ArchiveStore::Stream::Raw, 0, "abc").ok());
    for (const char *sql :
         {"UPDATE halvern.pieces SET bytes = 'x'", "DELETE FROM halvern.pieces", "TRUNCATE halvern.pieces CASCADE",
          "UPDATE halvern.runs SET started = now()", "DELETE FROM halvern.runs"}) {
        SCOPED_TRACE(sql);
        EXPECT_FALSE(s->connection().query(sql).ok());
        // The owner is refused by the trigger too.
        EXPECT_NE(server.psql(sql), QString());
    }
    EXPECT_EQ(archived(ArchiveStore::Stream::Raw), "abc");
    // A piece whose bytes do not hash to the hash sent with them is refused by the server.
    EXPECT_FALSE(s->connection()
                     .query("INSERT INTO halvern.pieces (host, name, stream, byte_offset, bytes, sha256) "
                            "VALUES ('pc12', $1, 'raw', 3, 'def', sha256('xyz'))",
                            {kRun.toUtf8()})
                     .ok());
}

TEST_F(ArchiveTest, FailuresAreToldInPlainWords)
{
    server.addLogin("halvern_pw", "right");
    server.addLogin("visitor", "x", false);
    const struct {
        QString conninfo;
        QString words;
    } cases[] = {
        {server.conninfo("halvern_pw") + " password=wrong", "The archive server refused the password"},
        {server.conninfo("visitor"), "The login visitor has no halvern_writer rights"},
        {QString(server.conninfo("pc12")).replace("dbname=lab", "dbname=postgres"), "The archive has no Halvern "
                                                                                    "schema"},
        {"host=" + folder.filePath("nowhere") + " dbname=lab", "The archive server cannot be reached"},
        {"service=halvern_nowhere", "No lab archive is set up"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.conninfo.toStdString());
        auto made = ArchiveConnection::open(c.conninfo);
        ASSERT_FALSE(made.ok());
        EXPECT_TRUE(made.failure().reason.startsWith(c.words)) << made.failure().reason.toStdString();
        EXPECT_FALSE(made.failure().reason.contains("wrong"));
    }
    EXPECT_EQ(ArchiveWords::withoutPassword("host=db user=a password=secret"), "user=a host=db");
}

TEST_F(ArchiveTest, AWorkbookChangedWithItsHashInTheSummaryIsCaughtAndTheRunFetched)
{
    writeKeptRun(runs, kRun, "1;2;3\r\n");
    const QString workbook = stop("4;5;6\r\n");
    {
        ArchiveSender sender(runs, kHost, status);
        auto s = store();
        ASSERT_FALSE(sender.pass(*s).has_value());
    }
    // The forgery: other bytes in the workbook, their hash written into the summary.
    const QString oldHash = QString::fromLatin1(ArchiveStore::sha256(readFile(workbook)).toHex());
    writeFile(workbook, "workbook bytes changed after the save");
    const QString newHash = QString::fromLatin1(ArchiveStore::sha256(readFile(workbook)).toHex());
    const QString summary = QString::fromUtf8(readFile(RunFiles::summaryPathFor(rawPath())));
    writeFile(RunFiles::summaryPathFor(rawPath()), QString(summary).replace(oldHash, newHash).toUtf8());
    ArchiveSender sender(runs, kHost, status); // the forged summary is not sent as a workbook
    auto s = store();
    ASSERT_FALSE(sender.pass(*s).has_value());

    ArchiveCheck check(*s);
    const RunCheck::Result book = check.workbook(workbook, rawPath());
    EXPECT_EQ(book.verdict, RunCheck::Verdict::Changed);
    const RunCheck::Result run = check.run(rawPath());
    EXPECT_EQ(run.verdict, RunCheck::Verdict::Changed) << run.lines.join('\n').toStdString();
    EXPECT_EQ(RunCheck::exitStatus(check.folder(runs).verdict), 1);

    const QString elsewhere = folder.filePath("elsewhere");
    const Result<QString> fetched = ArchiveFetch(*s).fetch(kRun, elsewhere);
    ASSERT_TRUE(fetched.ok()) << fetched.failure().reason.toStdString();
    EXPECT_EQ(readFile(fetched.value()), readFile(rawPath()));
    EXPECT_EQ(readFile(RunFiles::timesPathFor(fetched.value())), readFile(RunFiles::timesPathFor(rawPath())));

    // A run the archive never heard of is told as such.
    writeKeptRun(runs, "2026-12-08_12-00-00_COM5", "x\r\n");
    const RunCheck::Result unknown = check.run(runs + "/2026-12-08_12-00-00_COM5.raw");
    EXPECT_TRUE(unknown.lines.first().startsWith("The archive has no record of the run"));
}
} // namespace
