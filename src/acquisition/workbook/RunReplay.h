#pragma once

#include "Failure.h"
#include "StreamParser.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class JournalReader;
class SpreadsheetApp;

// Rebuilds the cells of a run from its journal: the bytes go through a
// SheetFeeder as in the run, into the active sheet of `app`'s active workbook, from row 1
// and column 1 as a run starts, with the block time stamps taken from the
// times the bytes arrived. An unfinished last line is left out, as Stop does,
// and so is a line the port broke off in (see BrokenLine).
class RunReplay {
public:
    // Called now and then with the bytes done and the journal's size.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    // A rebuild writes in blocks far larger than the live tick's calls: one
    // setDataArray costs about the same for one row as for thousands.
    static constexpr qsizetype kBlockRows = 4000;
    static constexpr qsizetype kBlockCells = 40000;
    static constexpr qsizetype kBlockChars = qsizetype{1} * 1024 * 1024;
    static StreamParser::Limits blockLimits();

    explicit RunReplay(SpreadsheetApp &app, Progress progress = {});

    // The failure when the journal cannot be read or the office fails (gone,
    // or busy for longer than a minute).
    std::optional<Failure> replay(JournalReader &reader);

    // The rows used, in every sheet of the replay.
    std::int64_t rows() const { return m_rows; }
    // The parser's counts: cells written, and what could not be written.
    const StreamParser::Counts &counts() const { return m_counts; }

private:
    std::optional<Failure> replayAll(JournalReader &reader);

    SpreadsheetApp &m_app;
    Progress m_progress;
    std::int64_t m_rows = 0;
    StreamParser::Counts m_counts;
};
