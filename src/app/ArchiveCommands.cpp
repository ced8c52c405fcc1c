#include "ArchiveCommands.h"

#include "ArchiveCheck.h"
#include "ArchiveFetch.h"
#include "ArchiveSchema.h"
#include "ArchiveSettings.h"
#include "ArchiveWords.h"
#include "DataCellComparison.h"
#include "FileDigest.h"
#include "LogCategories.h"
#include "RunCatalog.h"
#include "SpreadsheetApp.h"
#include "SpreadsheetFactory.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

using Verdict = RunCheck::Verdict;

namespace {
// The archive, when one is set up and answers; a line in `result` when it
// is set up and does not.
std::unique_ptr<ArchiveStore> openArchive(RunCheck::Result *result)
{
    Result<std::shared_ptr<ArchiveConnection>> made = ArchiveConnection::open(ArchiveSettings::connection());
    if (made)
        return std::make_unique<ArchiveStore>(made.value(), QSysInfo::machineHostName());
    if (result && made.failure().reason != ArchiveWords::noService())
        result->add(Verdict::Matches, QStringLiteral("The archive was not asked: ") + made.failure().reason);
    return nullptr;
}

void append(const RunCheck::Result &from, RunCheck::Result &to)
{
    for (qsizetype i = 0; i < from.lines.size(); ++i)
        to.add(from.verdicts[i], from.lines[i]);
}

// The run whose summary names the workbook, by its hash or its path.
QString runOf(const QString &path, const QString &runsFolder)
{
    const Result<QString> sha256 = FileDigest::sha256(path);
    QString byPath;
    for (const RunCatalog::Run &run : RunCatalog::scan(runsFolder))
        for (const RunProvenance::SavedFile &file : RunCheck::recorded(run.rawPath).saved) {
            if (sha256 && file.sha256 == *sha256)
                return run.rawPath;
            if (file.path == path && byPath.isEmpty())
                byPath = run.rawPath;
        }
    return byPath;
}

// The cells of `path` against those of the archive's workbook.
void compareCells(SpreadsheetFactory &factory, const QString &path, const QString &archivedPath,
                  RunCheck::Result &result)
{
    std::shared_ptr<SpreadsheetApp> app;
    try {
        app = factory.createHeadless();
        QList<Workbook::SheetValues> archived;
        QList<Workbook::SheetValues> local;
        {
            const std::shared_ptr<Workbook> a = app->open(archivedPath);
            archived = a->values();
            const std::shared_ptr<Workbook> l = app->open(path);
            local = l->values();
        }
        app->quit();
        const DataCellComparison::Outcome cells = DataCellComparison::compare(archived, local);
        auto archiveWording = [](QString line) {
            return line.replace(QLatin1String(" in the journal, "), QLatin1String(" in the archive's workbook, "));
        };
        for (const QString &line : cells.differing)
            result.add(Verdict::Changed, archiveWording(line));
        for (const QString &line : cells.notFromJournal)
            result.add(Verdict::Changed, QString(line).replace(QLatin1String("(written by the macro or by hand)"),
                                                               QLatin1String("(not in the archive's workbook)")));
        const qint64 changed = cells.differingCount + cells.notFromJournalCount;
        result.add(changed > 0 ? Verdict::Changed : Verdict::Matches,
                   QStringLiteral("%1 cells differ from the workbook the archive received").arg(changed));
    } catch (const std::exception &e) {
        if (app)
            try {
                app->quit();
            } catch (...) {
            }
        result.add(Verdict::Missing, QStringLiteral("The workbook could not be compared with the archive's in the "
                                                    "office: ")
                                         + QString::fromStdString(e.what()));
    }
}
} // namespace

int ArchiveCommands::printSchema()
{
    const QByteArray sql = ArchiveSchema::sql();
    std::fwrite(sql.constData(), 1, sql.size(), stdout);
    std::fflush(stdout);
    return 0;
}

int ArchiveCommands::fetchRun(const QString &name, const QString &folder)
{
    QTextStream out(stdout);
    Result<std::shared_ptr<ArchiveConnection>> made = ArchiveConnection::openOnly(ArchiveSettings::connection());
    if (!made) {
        out << made.failure().reason << '\n';
        return 2;
    }
    ArchiveStore store(made.value(), QSysInfo::machineHostName());
    const Result<QString> fetched = ArchiveFetch(store).fetch(name, folder);
    if (!fetched) {
        out << fetched.failure().reason << '\n';
        return 1;
    }
    out << "Fetched: " << fetched.value() << '\n';
    return 0;
}

void ArchiveCommands::checkRun(const QString &rawPath, RunCheck::Result &result)
{
    if (std::unique_ptr<ArchiveStore> store = openArchive(&result))
        append(ArchiveCheck(*store).run(rawPath), result);
}

void ArchiveCommands::checkFolder(const QString &folder, RunCheck::Result &result)
{
    if (std::unique_ptr<ArchiveStore> store = openArchive(&result))
        append(ArchiveCheck(*store).folder(folder), result);
}

void ArchiveCommands::checkWorkbook(SpreadsheetFactory &factory, const QString &path, const QString &runsFolder,
                                    RunCheck::Result &result)
{
    std::unique_ptr<ArchiveStore> store = openArchive(&result);
    if (!store)
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString rawPath = runOf(absolute, runsFolder);
    if (rawPath.isEmpty()) {
        result.add(Verdict::NotRecorded, QStringLiteral("No kept run names this workbook: the archive is not asked"));
        return;
    }
    ArchiveCheck check(*store);
    const RunCheck::Result against = check.workbook(absolute, rawPath);
    append(against, result);
    if (against.verdict != Verdict::Changed)
        return;
    const Result<ArchiveCheck::ArchivedWorkbook> archived = check.newestWorkbook(rawPath);
    if (!archived) {
        qCWarning(lcArchive).noquote() << "The archive's workbook of" << rawPath
                                       << "cannot be fetched to compare its cells:" << archived.failure().reason;
        return;
    }
    QTemporaryDir folder;
    QFile copy(folder.filePath(QStringLiteral("archived-") + archived->fileName));
    const QByteArray &bytes = archived->bytes;
    if (!folder.isValid() || !copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) {
        result.add(Verdict::Missing, QStringLiteral("The archive's workbook cannot be written to compare it"));
        return;
    }
    copy.close();
    compareCells(factory, absolute, copy.fileName(), result);
}
