#include "WorkbookReplayCheck.h"

#include "CellComparisonReport.h"
#include "DataCellComparison.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "MasterWorkbook.h"
#include "OfficeQuit.h"
#include "RunDocumentProperties.h"
#include "RunReplay.h"
#include "SpreadsheetFactory.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using Verdict = RunCheck::Verdict;

WorkbookReplayCheck::WorkbookReplayCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder)
    : m_factory(factory), m_programFolder(std::move(programFolder)), m_runsFolder(std::move(runsFolder))
{
}

void WorkbookReplayCheck::compareCells(const QString &path, const QString &listedRun, RunCheck::Result &result)
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
    try {
        app = m_factory.createHeadless();
        saved = app->open(path);
        QString rawPath = listedRun;
        if (rawPath.isEmpty()) {
            for (const auto &[name, value] : saved->customProperties())
                if (name == RunDocumentProperties::kRawFileProperty && !value.isEmpty())
                    rawPath = QDir(m_runsFolder).filePath(QFileInfo(value).fileName());
        }
        if (rawPath.isEmpty()) {
            result.add(Verdict::NotRecorded, QStringLiteral("The workbook names no run of Halvern's (its document "
                                                            "properties hold no \"%1\"): %2")
                                                 .arg(RunDocumentProperties::kRawFileProperty, path));
            quit();
            return;
        }
        const RunProvenance provenance = RunCheck::recorded(rawPath);
        if (!QFileInfo::exists(rawPath)) {
            result.add(Verdict::Missing, QStringLiteral("The workbook's run is not in the runs folder: ") + rawPath);
            quit();
            return;
        }
        if (provenance.recorded()) {
            const RunCheck::Result journal = RunCheck::journal(rawPath, provenance);
            for (qsizetype i = 0; i < journal.lines.size(); ++i)
                result.add(journal.verdicts[i], journal.lines[i]);
            if (journal.verdict != Verdict::Matches) {
                result.add(journal.verdict, QStringLiteral("The data cells are not compared: the journal is not as "
                                                           "the run left it"));
                quit();
                return;
            }
        } else {
            result.add(Verdict::Matches, QStringLiteral("The run's summary holds no hashes (written by an older "
                                                        "Halvern): the journal is taken as it is: ")
                                             + rawPath);
        }
        result.add(Verdict::Matches,
                   QStringLiteral("The workbook is not byte for byte one Halvern saved (changed, or saved again, "
                                  "after the save): %1; its data cells are compared with the run %2")
                       .arg(path, QFileInfo(rawPath).fileName()));
        const QList<Workbook::SheetValues> inWorkbook = saved->values();

        QTemporaryDir folder;
        const QString copy = folder.filePath(MasterWorkbook::fileName());
        if (!folder.isValid() || !MasterWorkbook::copyTo(m_programFolder, copy)) {
            result.add(Verdict::Missing, QStringLiteral("Cannot copy the master workbook from ") + m_programFolder);
            quit();
            return;
        }
        JournalReader reader;
        if (const std::optional<Failure> unread = reader.open(rawPath)) {
            result.add(Verdict::Missing, unread->reason);
            quit();
            return;
        }
        rebuilt = app->open(copy); // the active workbook the replay writes to
        RunReplay replay(*app);
        if (const std::optional<Failure> failure = replay.replay(reader)) {
            result.add(Verdict::Missing, QStringLiteral("The journal could not be replayed: ") + failure->reason);
            quit();
            return;
        }
        const DataCellComparison::Outcome cells = DataCellComparison::compare(rebuilt->values(), inWorkbook);
        quit();
        CellComparisonReport::add(cells, result);
    } catch (const std::exception &e) {
        quit();
        result.add(Verdict::Missing, QStringLiteral("The workbook could not be compared in the office: ")
                                         + QString::fromStdString(e.what()));
    }
}
