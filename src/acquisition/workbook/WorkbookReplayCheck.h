#pragma once

#include "RunCheck.h"

#include <QString>

class SpreadsheetFactory;

// A workbook compared with its run in a headless office: the workbook is
// opened, its run found by its document properties unless known, the run's
// journal replayed into a fresh copy of the master, and every data cell
// compared (see DataCellComparison).
class WorkbookReplayCheck {
public:
    WorkbookReplayCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder);

    // Adds to `result` what the workbook at `path` holds against the run
    // `listedRun` (empty: the one its document properties name).
    void compareCells(const QString &path, const QString &listedRun, RunCheck::Result &result);

private:
    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    QString m_runsFolder;
};
