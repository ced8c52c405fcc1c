#pragma once

#include "LineCells.h"
#include "StreamParser.h"

#include <QList>
#include <cstdint>

// The spreadsheet calls of one StreamParser::parse(): consecutive lines read
// by LineCells go in one call, within the parser's call limits; a line too
// big for one call goes in pieces. `done()` is the committed state:
// everything before its position is handled, and the parser's counts hold
// what it kept out. Lines given after it wait in the batch until a write
// takes them. A busy or closed spreadsheet ends the parse (outcome()); a
// write it refuses is dropped and counted; a write still running after its
// time limit is left to end (see StreamParser).
class CellBatcher {
public:
    using Line = LineCells::Line;
    using Mark = StreamParser::Mark;
    using Outcome = StreamParser::Outcome;

    CellBatcher(StreamParser &parser, SpreadsheetApp *app, std::int32_t row, std::int16_t blockColumn);

    // A write an earlier parse left running: false while it still runs.
    // Once written, the parse goes on after it; when it failed, its lines
    // go again.
    bool settleLateWrite();
    // Each of these is false when the parse must stop (outcome() says why).
    bool addLine(Line &&line);
    bool flush();
    // The block separator at `start`: the time stamp opens the next column.
    bool separator(qsizetype start);
    // An unfinished line known to be too long: dropped after what waits.
    bool dropUnfinished(const Line &line);
    // More bytes of a line being dropped: passed over.
    void skip(const Line &rest);

    const Mark &done() const { return m_done; }
    Outcome outcome() const { return m_outcome; }
    // This parse left a write running.
    bool leftRunning() const { return m_lateSet; }

private:
    enum class Result { Written, Refused, Late, Stop };

    bool writeInPieces(Line &line);
    template <class F>
    Result call(F write);
    void commit(const Line &line);
    void record(const StreamCounts &counts);
    void leaveRunning(const Mark &after, const StreamCounts &counts, QList<LinePlace> places = {});
    static LinePlace placeOf(const Line &line);
    void tell(const LinePlace &place);
    static StreamCounts refused(qsizetype cells);
    static StreamCounts written(qsizetype cells);

    StreamParser &m_parser;
    SpreadsheetApp *m_app;
    const StreamParser::Limits m_limits;
    Mark m_done;
    Outcome m_outcome = Outcome::Ok;
    bool m_lateSet = false;
    QList<Line> m_batch;
    std::int32_t m_batchColumn = 0; // of the rows with cells; 0 while there are none
    qsizetype m_batchCells = 0;
    qsizetype m_batchChars = 0;
};
