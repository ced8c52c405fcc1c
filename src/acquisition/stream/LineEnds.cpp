#include "LineEnds.h"

std::int64_t LineEnds::count(QByteArrayView text)
{
    std::int64_t lines = 0;
    for (qsizetype at = find(text); at >= 0; at = find(text, at + kSize))
        ++lines;
    return lines;
}

qsizetype LineEnds::afterLines(QByteArrayView text, std::int64_t lines)
{
    if (lines <= 0)
        return 0;
    for (qsizetype at = find(text); at >= 0; at = find(text, at + kSize)) {
        if (--lines == 0)
            return at + kSize;
    }
    return -1;
}

qsizetype LineEnds::afterLast(QByteArrayView text)
{
    const qsizetype at = text.lastIndexOf(QByteArrayView(kEnd, kSize));
    return at < 0 ? 0 : at + kSize;
}

qsizetype LineEnds::firstEnd(QByteArrayView piece, bool afterCr)
{
    if (afterCr && piece.startsWith('\n'))
        return 1;
    const qsizetype at = find(piece);
    return at < 0 ? -1 : at + kSize;
}

void LineEnds::add(QByteArrayView piece)
{
    if (piece.isEmpty())
        return;
    if (m_afterCr && piece.front() == '\n')
        ++m_lines;
    m_lines += count(piece);
    m_afterCr = piece.back() == '\r';
}
