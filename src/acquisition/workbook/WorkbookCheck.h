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

private:
    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    QString m_runsFolder;
};
