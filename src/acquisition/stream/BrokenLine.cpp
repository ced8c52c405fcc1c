#include "BrokenLine.h"

#include "StreamParser.h"

void BrokenLine::drop(QByteArray &pending, StreamParser &parser)
{
    const qsizetype end = pending.lastIndexOf("\r\n");
    const qsizetype keep = end < 0 ? 0 : end + 2;
    if (keep == pending.size())
        return;
    m_afterCr = pending.endsWith('\r');
    ++m_dropped;
    pending.truncate(keep);
    parser.cutText(keep);
}

QByteArray BrokenLine::received(QByteArray text, bool *endedLine)
{
    if (endedLine)
        *endedLine = false;
    if (m_afterCr && !text.isEmpty()) {
        m_afterCr = false;
        if (text.startsWith('\n')) {
            text.remove(0, 1);
            if (endedLine)
                *endedLine = true;
        }
    }
    return text;
}
