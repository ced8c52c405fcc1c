#include "WorkbookReplayCheck.h"

#include "CellComparisonReport.h"
#include "DataCellComparison.h"
#include "FileDigest.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "MasterWorkbook.h"
#include "OfficeQuit.h"
#include "RunDocumentProperties.h"
#include "RunFiles.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunReplay.h"
#include "SaveRecord.h"
#include "SavedValuesCheck.h"
#include "WorkbookSaver.h"
#include "SpreadsheetFactory.h"
#include "StartingWorkbooks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using Verdict = RunCheck::Verdict;

WorkbookReplayCheck::WorkbookReplayCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder)
    : m_factory(factory), m_programFolder(std::move(programFolder)), m_runsFolder(std::move(runsFolder))
{
}

QString WorkbookReplayCheck::savedValues(const QString &rawPath, const QString &path)
{
    const QString manifestPath = RunManifest::pathFor(rawPath);
    if (!QFileInfo::exists(manifestPath))
        return QString();
    const Result<RunManifest> manifest = RunManifestReader::read(manifestPath);
    if (!manifest) {
        qCWarning(lcWorkbook).noquote() << "The values as saved are not looked for:" << manifest.failure().reason;
        return QString();
    }
    const ManifestEntry *save = SaveRecord::valuesFor(*manifest, path);
    return save ? save->value(SaveRecord::kValuesField) : QString();
}

QString WorkbookReplayCheck::compareCells(const QString &path, const QString &listedRun, RunCheck::Result &result)
{
    std::shared_ptr<SpreadsheetApp> app;
    std::shared_ptr<Workbook> saved;
    std::shared_ptr<Workbook> rebuilt;
    // The workbooks go before their office: a workbook let go after the quit
    // is released on the office's worker while the program may be ending.
    auto quit = [&app, &saved, &rebuilt] {
        saved.reset();
        rebuilt.reset();
        OfficeQuit::quit(app);
    };
    QString rawPath = listedRun;
    try {
        app = m_factory.createHeadless();
        saved = app->openHidden(path); // only read: it needs no view
        QString replayed;              // when --replay made it
        QString recordedRawHash;       // the journal's hash it was made from
        for (const auto &[name, value] : saved->customProperties()) {
            if (name == RunDocumentProperties::kRawFileProperty && !value.isEmpty() && rawPath.isEmpty())
                rawPath = QDir(m_runsFolder).filePath(QFileInfo(value).fileName());
            if (name == RunDocumentProperties::kReplayProperty)
                replayed = value;
            if (name == RunDocumentProperties::kRawHashProperty)
                recordedRawHash = value;
        }
        if (rawPath.isEmpty()) {
            result.add(Verdict::NotRecorded, QStringLiteral("The workbook names no run of Halvern's (its document "
                                                            "properties hold no \"%1\"): %2")
                                                 .arg(RunDocumentProperties::kRawFileProperty, path));
            quit();
            return rawPath;
        }
        if (!QFileInfo::exists(rawPath)) {
            result.add(Verdict::Missing, QStringLiteral("The workbook's run is not in the runs folder: ") + rawPath);
            quit();
            return rawPath;
        }
        // A run kept before manifests is compared all the same; it stays "not recorded".
        const RunCheck::Result journal = RunCheck::record(rawPath);
        for (qsizetype i = 0; i < journal.lines.size(); ++i)
            result.add(journal.verdicts[i], journal.lines[i]);
        if (journal.verdict != Verdict::Matches && journal.verdict != Verdict::NotRecorded) {
            result.add(journal.verdict, QStringLiteral("The data cells are not compared: the journal is not as "
                                                       "the run left it"));
            quit();
            return rawPath;
        }
        if (!replayed.isEmpty()) {
            // Its record is in its own properties: the journal it was made from.
            const Result<QString> now = FileDigest::sha256(rawPath);
            if (recordedRawHash.isEmpty() || !now || *now != recordedRawHash) {
                result.add(Verdict::Changed,
                           QStringLiteral("The journal is not the one --replay made the workbook from on %1: its "
                                          "SHA-256 differs from the one the workbook records: %2")
                               .arg(replayed, rawPath));
                quit();
                return rawPath;
            }
            result.add(Verdict::Matches,
                       QStringLiteral("The workbook was made by --replay on %1 from the run %2, whose journal is as "
                                      "it records; its data cells are compared with the journal: %3")
                           .arg(replayed, QFileInfo(rawPath).fileName(), path));
        } else {
            result.add(Verdict::Matches,
                       QStringLiteral("The workbook is not byte for byte one Halvern saved (changed, or saved again, "
                                      "after the save): %1; its data cells are compared with the run %2")
                           .arg(path, QFileInfo(rawPath).fileName()));
        }
        const QList<Workbook::SheetValues> inWorkbook = saved->values();

        // The replay starts from the workbook the run started from, so its
        // own cells are not taken for the journal's or the user's; a run
        // recorded without one starts from the master.
        const Result<QString> starting = StartingWorkbooks::forRun(rawPath);
        if (!starting) {
            result.add(Verdict::Changed, QStringLiteral("The workbook the run started from is not kept as it was: ")
                                             + starting.failure().reason);
            quit();
            return rawPath;
        }
        QTemporaryDir folder;
        const QString copy = folder.filePath(MasterWorkbook::fileName());
        const bool copied =
            folder.isValid()
            && (starting->isEmpty() ? MasterWorkbook::copyTo(m_programFolder, copy) : QFile::copy(*starting, copy));
        if (!copied) {
            result.add(Verdict::Missing, QStringLiteral("Cannot copy the workbook the run started from: ")
                                             + (starting->isEmpty() ? m_programFolder : *starting));
            quit();
            return rawPath;
        }
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        JournalReader reader;
        if (const std::optional<Failure> unread = reader.open(rawPath)) {
            result.add(Verdict::Missing, unread->reason);
            quit();
            return rawPath;
        }
        rebuilt = app->openToFill(copy); // the active workbook the replay writes to
        RunReplay replay(*app);
        if (const std::optional<Failure> failure = replay.replay(reader)) {
            result.add(Verdict::Missing, QStringLiteral("The journal could not be replayed: ") + failure->reason);
            quit();
            return rawPath;
        }
        // An .xls keeps 65,536 rows: what the journal fills beyond is cut, not changed.
        const bool xls = QFileInfo(path).suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0;
        const std::int64_t rowLimit = xls ? WorkbookSaver::kXlsRows : 0;
        const QList<Workbook::SheetValues> fromJournal = rebuilt->values();
        quit();
        // Where the record kept the values as saved, every cell is held
        // against them, and they against the journal.
        if (const QString values = savedValues(rawPath, path); !values.isEmpty()) {
            SavedValuesCheck::check(result, rawPath, values, inWorkbook, fromJournal);
            return rawPath;
        }
        const DataCellComparison::Outcome cells = DataCellComparison::compare(fromJournal, inWorkbook, rowLimit);
        CellComparisonReport::add(cells, result);
        if (cells.rowsBeyondLimit > 0)
            result.add(Verdict::Matches, DataCellComparison::cutText(QStringLiteral(".xls"), rowLimit, cells));
    } catch (const std::exception &e) {
        quit();
        result.add(Verdict::Missing, QStringLiteral("The workbook could not be compared in the office: ")
                                         + QString::fromStdString(e.what()));
    }
    return rawPath;
}
