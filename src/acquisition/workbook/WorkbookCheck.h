#pragma once

#include "RunCheck.h"

#include <QString>

class SpreadsheetFactory;

// Checks a saved workbook against the run it came from. A workbook byte for
// byte as a run's summary records it needs no office: its run's journal is
// checked against its hashes. Any other workbook is compared cell by cell
// with its run's journal replayed (see WorkbookReplayCheck).
class WorkbookCheck {
public:
    WorkbookCheck(SpreadsheetFactory &factory, QString programFolder, QString runsFolder);

    RunCheck::Result check(const QString &workbookPath);
    // The raw file of the run the last check held the workbook against;
    // empty when it found none.
    QString run() const { return m_run; }

private:
    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    QString m_runsFolder;
    QString m_run;
};
