#include "BrokenLine.h"

#include "LineEnds.h"
#include "StreamParser.h"

void BrokenLine::drop(QByteArray &pending, StreamParser &parser)
{
    const qsizetype keep = LineEnds::afterLast(pending);
    if (keep == pending.size())
        return;
    m_afterCr = pending.endsWith('\r');
    ++m_dropped;
    pending.truncate(keep);
    parser.cutText(keep);
}

QByteArrayView BrokenLine::received(QByteArrayView text, bool *endedLine)
{
    bool ended = false;
    if (m_afterCr && !text.isEmpty()) {
        m_afterCr = false;
        ended = LineEnds::firstEnd(text, true) == 1;
    }
    if (endedLine)
        *endedLine = ended;
    return ended ? text.sliced(1) : text;
}
