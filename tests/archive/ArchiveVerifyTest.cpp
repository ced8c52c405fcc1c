// The forgery the archive is there for, through the real program: a saved
// workbook changed afterwards in the office, its new hash written into the
// run's summary. Alone the local record vouches for it; with the archive,
// `halvern --verify` exits 1 naming the changed cell, and `--verify-runs`
// exits 1.
#include "ArchiveSchema.h"
#include "ArchiveSender.h"
#include "FileContents.h"
#include "KeptRuns.h"
#include "OfficeConversion.h"
#include "PostgresServer.h"
#include "ProgramRun.h"
#include "ProvenanceGatherer.h"
#include "QStringPrinter.h"
#include "RunFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kRun = QStringLiteral("2026-12-08_10-00-00_COM5");

QString hashOf(const QString &path)
{
    return QString::fromLatin1(QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex());
}

// An .xls with these lines as its cells, made by a separate office.
QString workbookOf(const QString &folder, const QByteArray &csv)
{
    QDir().mkpath(folder);
    writeFile(folder + "/run.csv", csv);
    EXPECT_TRUE(convertWithSeparateOffice({folder + "/run.csv"}, "xls:MS Excel 97", folder));
    return folder + "/run.xls";
}

} // namespace

TEST(ArchiveVerifyTest, TheE1ForgeryExitsOneNamingTheChangedCell)
{
    PostgresServer server;
    ASSERT_EQ(server.problem(), QString());
    QTemporaryDir home;
    writeFile(home.filePath("schema.sql"), ArchiveSchema::sql());
    ASSERT_EQ(server.psql("\\i " + home.filePath("schema.sql")), QString());
    server.addLogin("pc12", "secret");
    writeFile(home.filePath("pg_service.conf"),
              ("[halvern]\n" + server.conninfo("pc12").replace(' ', '\n') + "\n").toUtf8());

    const QString runs = home.filePath(".local/share/Halvern/runs");
    QDir().mkpath(runs);
    const QString raw = writeKeptRun(runs, kRun, "1;2;3\r\n4;5;6\r\n");
    const QString workbook = workbookOf(home.filePath("Documents"), "1,2,3\n4,5,6\n");
    RunSummary summary = stopSummary("2026-12-08 10:00:00", "2026-12-08 11:00:00", 2, workbook);
    summary.rawPath = raw;
    summary.bytes = QFileInfo(raw).size();
    summary.provenance = ProvenanceGatherer::gather(raw);
    ProvenanceGatherer::addSaved(summary.provenance, workbook);
    writeFile(RunFiles::summaryPathFor(raw), summary.text().toUtf8());
    {
        ArchiveStatus status;
        ArchiveSender sender(runs, QSysInfo::machineHostName(), status);
        auto made = ArchiveConnection::open(server.conninfo("pc12"));
        ASSERT_TRUE(made.ok());
        ArchiveStore store(made.value(), QSysInfo::machineHostName());
        ASSERT_FALSE(sender.pass(store).has_value());
        ASSERT_EQ(status.archivedText(raw), "sent");
    }

    // The forgery: B2 changed in the office, the new hash in the summary.
    const QString oldHash = hashOf(workbook);
    QFile::remove(workbook);
    workbookOf(home.filePath("Documents"), "1,2,3\n4,9,6\n");
    const QString text = QString::fromUtf8(readFile(RunFiles::summaryPathFor(raw)));
    writeFile(RunFiles::summaryPathFor(raw), QString(text).replace(oldHash, hashOf(workbook)).toUtf8());

    auto halvern = [&](const QStringList &args) {
        QProcessEnvironment env = ProgramRun::headlessEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("XDG_STATE_HOME", home.filePath(".local/state"));
        env.insert("PGSERVICEFILE", home.filePath("pg_service.conf"));
        env.insert("HALVERN_OFFICE_HEADLESS", "1");
        return ProgramRun::run(args, env, 170000, ProgramRun::Printed::OutputOnly);
    };
    const ProgramRun verify = halvern({"--verify", workbook});
    EXPECT_EQ(verify.exitCode, 1) << verify.out.toStdString();
    EXPECT_TRUE(verify.out.contains("is not one the archive received")) << verify.out.toStdString();
    EXPECT_TRUE(verify.out.contains("B2: 5 in the archive's workbook, 9 in the workbook")) << verify.out.toStdString();
    const ProgramRun runsCheck = halvern({"--verify-runs"});
    EXPECT_EQ(runsCheck.exitCode, 1) << runsCheck.out.toStdString();
}
