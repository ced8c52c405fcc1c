#pragma once

#include <QByteArrayView>
#include <cstdint>
#include <cstring>

// Where lines end in the instrument's text and how many there are: only CR
// LF ends a line. The static functions look at one piece of text; an object
// counts a stream that comes in pieces, where a CR LF may be split between
// two of them.
class LineEnds {
public:
    static constexpr char kEnd[] = "\r\n";
    static constexpr qsizetype kSize = 2;

    // Index of the CR of the first CR LF at or after `from`, or -1.
    static qsizetype find(QByteArrayView text, qsizetype from = 0)
    {
        const char *begin = text.data();
        const qsizetype size = text.size();
        while (from + 1 < size) {
            const void *cr = std::memchr(begin + from, '\r', static_cast<size_t>(size - 1 - from));
            if (!cr)
                return -1;
            const qsizetype at = static_cast<const char *>(cr) - begin;
            if (begin[at + 1] == '\n')
                return at;
            from = at + 1;
        }
        return -1;
    }
    static bool any(QByteArrayView text) { return find(text) >= 0; }
    // The CR LF in `text`.
    static std::int64_t count(QByteArrayView text);
    // The end (after its LF) of the `lines`-th line, or -1 when `text` holds fewer.
    static qsizetype afterLines(QByteArrayView text, std::int64_t lines);
    // The end (after its LF) of the last complete line; 0 when there is none.
    static qsizetype afterLast(QByteArrayView text);

    // Counts the next piece of the stream.
    void add(QByteArrayView piece);
    // The end (after its LF) of the first line that ends in `piece`, the
    // piece before it having ended with a CR when `afterCr`; -1 when none does.
    static qsizetype firstEnd(QByteArrayView piece, bool afterCr);

    std::int64_t lines() const { return m_lines; }
    // The stream so far ends with a CR, that a LF would make a line end.
    bool afterCr() const { return m_afterCr; }
    void reset() { *this = LineEnds(); }

private:
    std::int64_t m_lines = 0;
    bool m_afterCr = false;
};
