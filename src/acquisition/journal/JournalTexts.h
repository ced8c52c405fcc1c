#pragma once

#include "Failure.h"

#include <QString>
#include <optional>

class RunJournal;

// What the user is told about the run's journal, in one place: the notice
// when it stops keeping the bytes, the spreadsheet lamp's tooltip, the box at
// Stop and the summary's line.
class JournalTexts {
public:
    // The journal has just begun to fail.
    static QString failureNotice(const RunJournal &journal);
    // What a paused run received could not be read back (`error` says why).
    static QString backlogLost(const QString &error);
    // The lamp's tooltip: the journal's state, and when the spreadsheet is
    // closed or does not answer (`officeTrouble`) what the journal does about
    // it. Empty when there is nothing to say.
    static QString lampTip(const RunJournal &journal, bool officeTrouble);
    // The box before the save at Stop when the journal is incomplete (empty
    // when it is complete); `summaryProblem` says why the summary cannot be
    // written either.
    static QString incompleteAtStop(const RunJournal &journal, const std::optional<Failure> &summaryProblem);
    // The summary's line on an incomplete journal; empty when it is complete.
    static QString summaryLine(const RunJournal &journal);
};
