#pragma once

#include "RunCheck.h"

#include <QString>

class SpreadsheetFactory;

// Checks a saved workbook against the run it came from. A workbook byte for
// byte as a run's summary records it needs no office: its run's journal is
// checked against its hashes. Any other workbook is opened in a headless
// office, its run found by its document properties, the run's journal
// replayed into a fresh copy of the master, and every data cell compared
// (see DataCellComparison).
class WorkbookCheck {
public:
    WorkbookCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder);

    RunCheck::Result check(const QString &workbookPath);

private:
    // The run whose summary lists the file by hash (*same set) or by path.
    QString findRun(const QString &path, const QString &sha256, bool *same) const;
    void compareCells(const QString &path, const QString &rawPath, RunCheck::Result &result);

    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    QString m_runsFolder;
};
