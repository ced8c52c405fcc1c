#pragma once

#include "StreamWatch.h"

#include <QByteArray>
#include <QString>
#include <deque>

// The end of the received text, line by line, each complete line with where
// it went: what the "Received text" window shows. Keeps the last kMaxLines
// lines or kMaxBytes bytes, whichever is less, whatever arrives; a line keeps
// its first kLineKept bytes for showing and counts the rest. Lives as long as
// the program, so after a run it still holds that run's end.
//
// Lines are numbered from the program's start (ids); a viewer asks for the
// changes since its last look (takeChanges()) and shows lines by index.
class ReceivedText : public StreamWatch {
public:
    static constexpr qsizetype kMaxLines = 5000;
    static constexpr qsizetype kMaxBytes = 2 * 1024 * 1024;
    static constexpr qsizetype kLineKept = 16 * 1024;

    enum class Tag : std::int8_t {
        None,      // not (yet) handled by the parser
        Placed,    // `place` says where it went
        Separator, // one of the first two empty lines of a block separator
        BrokenOff, // left out: the port was lost in its middle
    };
    struct Line {
        QByteArray bytes; // its first kLineKept bytes, line end included
        qint64 size = 0;  // all of its bytes
        bool complete = false;
        Tag tag = Tag::None;
        LinePlace place;
    };
    // What changed since the last takeChanges().
    struct Changes {
        bool reset = false;     // cleared: show everything afresh
        qint64 firstId = 0;     // lines before this one are gone
        qint64 changedFrom = 0; // this line and every one after it are new or changed
    };

    // StreamWatch
    void runStarted() override;
    void textArrived(QByteArrayView text) override;
    void lineBrokenOff() override;
    void lineHandled(const LinePlace &place) override;

    // Forgets every line shown (the run and its journal go on untouched).
    void clear();

    qsizetype lineCount() const { return qsizetype(m_lines.size()); }
    const Line &line(qsizetype index) const { return m_lines[size_t(index)]; }
    qint64 firstId() const { return m_firstId; }
    qint64 bytesKept() const { return m_bytes; }

    bool changed() const { return m_changed; }
    Changes takeChanges();

    // "row 12", "block 2, row 5", ...; empty for a line with no mark.
    static QString markText(const Line &line);
    // The bytes with the line ends, TABs and every other byte below 32 or from
    // 127 up made visible.
    static QString visibleText(QByteArrayView bytes);
    // The bytes as two-digit hex numbers: "35 2E 31 0D 0A".
    static QString hexText(QByteArrayView bytes);
    // A line as the window shows it: its mark in a column of its own, then
    // its text (or hex), and what was not kept of a long line.
    static QString shownText(const Line &line, bool hex);

private:
    void append(Line &line, QByteArrayView piece);
    void touch(qsizetype index);
    void trim();

    std::deque<Line> m_lines;
    qint64 m_firstId = 0;
    qint64 m_bytes = 0;
    // The next line waiting for its place is at or after this index; lines
    // before it are done with. Places for lines no longer kept are skipped.
    qsizetype m_next = 0;
    qint64 m_skip = 0;
    bool m_tailCr = false; // the unfinished last line ends with a CR
    bool m_changed = false;
    bool m_reset = false;
    qint64 m_changedFrom = 0;
};
