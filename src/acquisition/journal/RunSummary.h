#pragma once

#include "RunProvenance.h"
#include "StreamParser.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

// What a run's summary file says: when and where it ran, what it received,
// what reached the workbook and what did not, and where it was saved.
struct RunSummary {
    QDateTime started;
    QDateTime stopped;
    int comNumber = 0;
    QString device; // the port's device path, when known
    qint64 bytes = 0;
    qint64 lines = 0;
    qint64 rowsUsed = 0;
    int sheets = 1;
    StreamParser::Counts counts;
    QString rebuilt; // a line on a workbook rebuilt from the journal, or empty
    QString macro;   // a line on the user macro at Stop, or empty
    qint64 brokenLinesDropped = 0;
    qint64 linesMissing = 0;
    QString savedAs;     // empty: not saved
    QString alsoSavedAs; // the whole workbook beside a too small .xls
    QString rawPath;
    QString journalProblem;
    QString journalIncomplete; // a line on bytes the journal missed, or empty
    QString otherLines;        // lines this version does not know, kept as read
    // The run ended without Stop (the program or the computer stopped): its
    // workbook of the time is lost, and `stopped` is when its last byte came.
    bool endedWithoutStop = false;
    RunProvenance provenance; // its lines close the summary

    // The text of the summary file, one "Name: value" line each.
    QString text() const;
    // A summary file's text read back; nothing when it is not a summary.
    static std::optional<RunSummary> parse(const QString &text);
};
