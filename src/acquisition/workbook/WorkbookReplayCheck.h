#pragma once

#include "RunCheck.h"

#include <QString>

class SpreadsheetFactory;

// A workbook compared with its run in a headless office: the workbook is
// opened, its run found by its document properties unless known, the run's
// journal replayed into a copy of the workbook the run started from (of the
// master for a run recorded without one). Where the run's manifest kept the
// values as saved, every cell is held against them and they against the
// journal (SavedValuesCheck); else every data cell is compared with the
// journal (DataCellComparison).
class WorkbookReplayCheck {
public:
    WorkbookReplayCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder);

    // Adds to `result` what the workbook at `path` holds against the run
    // `listedRun` (empty: the one its document properties name); the raw
    // file of the run it was held against, empty when none was found.
    QString compareCells(const QString &path, const QString &listedRun, RunCheck::Result &result);

private:
    // The hash of the values kept at the save of the workbook at `path`;
    // empty when the run's record keeps none.
    static QString savedValues(const QString &rawPath, const QString &path);

    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    QString m_runsFolder;
};
