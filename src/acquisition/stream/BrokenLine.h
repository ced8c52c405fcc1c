#pragma once

#include <QByteArray>
#include <QByteArrayView>

class StreamParser;

// The line a lost port broke off in. What the instrument sent while the
// device was away never arrived, so the first part of that line cannot be
// completed: joined with what comes after the return it would make one wrong
// line out of two, a wrong number perhaps. It is dropped from the text
// waiting to be parsed (the journal keeps its bytes), and the next complete
// line goes into the row that line would have had. The live run and the
// replay of its journal drop it alike.
class BrokenLine {
public:
    // Cuts `pending` (text starting at a line start) back to the end of its
    // last complete line, and tells the parser.
    void drop(QByteArray &pending, StreamParser &parser);
    // The next text received, as the parser takes it: when the dropped line
    // had its CR already, a first LF ends it and is taken out. Sets
    // *endedLine when it did (the journal counts that CR LF as a line).
    QByteArrayView received(QByteArrayView text, bool *endedLine = nullptr);
    void reset() { *this = BrokenLine(); }
    // The lines dropped since the last reset().
    qint64 dropped() const { return m_dropped; }

private:
    bool m_afterCr = false;
    qint64 m_dropped = 0;
};
