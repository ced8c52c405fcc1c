#include "SheetFeeder.h"

#include "LineEnds.h"
#include "LogCategories.h"
#include "SheetSpace.h"
#include "SpreadsheetApp.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <exception>
#include <utility>

SheetFeeder::SheetFeeder(std::function<QTime()> clock)
    : m_clock(std::move(clock)),
      m_parser(StreamParser::StampClock([this](qsizetype lastByte) { return arrivalOf(lastByte); }))
{
}

QTime SheetFeeder::arrivalOf(qsizetype position) const
{
    const auto it = std::upper_bound(m_arrivals.begin(), m_arrivals.end(), position,
                                     [](qsizetype at, const Arrival &arrival) { return at < arrival.end; });
    if (it != m_arrivals.end())
        return it->at;
    return m_clock ? m_clock() : QTime::currentTime(); // not received through receive(): not expected
}

void SheetFeeder::fitArrivals(qsizetype consumed)
{
    qsizetype drop = 0;
    while (drop < m_arrivals.size() && m_arrivals[drop].end <= consumed)
        ++drop;
    m_arrivals.remove(0, drop);
    for (Arrival &arrival : m_arrivals)
        arrival.end = std::min(arrival.end - consumed, m_pending.size());
    // Those wholly past a cut at the end go.
    while (!m_arrivals.isEmpty()
           && (m_arrivals.size() == 1 ? 0 : m_arrivals[m_arrivals.size() - 2].end) >= m_pending.size())
        m_arrivals.removeLast();
}

void SheetFeeder::clearPending()
{
    m_pending.clear();
    m_arrivals.clear();
}

void SheetFeeder::reset()
{
    m_parser.reset();
    m_brokenLine.reset();
    m_pending.clear();
    m_arrivals.clear();
    m_row = 1;
    m_blockColumn = 1;
    m_linesHandled = 0;
    m_rowsInFullSheets = 0;
    m_sheetsAdded = 0;
    m_sheetFailure.clear();
}

void SheetFeeder::receive(QByteArrayView text, QTime arrived)
{
    // The journal counts the CR LF that ends a dropped line; the parser never
    // sees it, so it is counted here, or Stop would find a line missing.
    bool endedLine = false;
    const qsizetype before = m_pending.size();
    m_pending.append(m_brokenLine.received(text, &endedLine));
    if (endedLine)
        ++m_linesHandled;
    if (m_pending.size() == before)
        return;
    if (!arrived.isValid())
        arrived = m_clock ? m_clock() : QTime::currentTime();
    if (!m_arrivals.isEmpty()
        && StreamParser::timeOfDayHours(m_arrivals.last().at) == StreamParser::timeOfDayHours(arrived))
        m_arrivals.last().end = m_pending.size();
    else
        m_arrivals.append({m_pending.size(), arrived});
}

bool SheetFeeder::breakLine()
{
    const qint64 dropped = m_brokenLine.dropped();
    m_brokenLine.drop(m_pending, m_parser);
    fitArrivals(0);
    return m_brokenLine.dropped() != dropped;
}

bool SheetFeeder::hasLine() const { return LineEnds::any(m_pending); }

void SheetFeeder::addSheet(SpreadsheetApp &app)
{
    try {
        app.addSheet();
        m_rowsInFullSheets += m_row - 1;
        ++m_sheetsAdded;
        m_row = 1;
        m_sheetFailure.clear();
        return;
    } catch (const std::exception &e) {
        m_sheetFailure = QString::fromStdString(e.what());
    } catch (...) {
        m_sheetFailure = QStringLiteral("unknown failure");
    }
    qCWarning(lcOffice) << "a new sheet for the rows after row" << m_row - 1
                        << "could not be added, they are counted as lost:" << m_sheetFailure;
}

StreamParser::Outcome SheetFeeder::write(SpreadsheetApp *app)
{
    if (app && SheetSpace::isFull(m_row))
        addSheet(*app);
    const QByteArrayView offered = SheetSpace::fitting(m_pending, m_row);
    qsizetype consumed = 0;
    const StreamParser::Outcome outcome = m_parser.parse(offered, app, m_row, m_blockColumn, consumed);
    m_linesHandled += LineEnds::count(offered.first(consumed));
    m_pending.remove(0, consumed);
    fitArrivals(consumed);
    return outcome;
}

std::optional<Failure> SheetFeeder::drain(SpreadsheetApp &app, std::chrono::milliseconds busyLimit)
{
    const QDeadlineTimer busyFor(busyLimit);
    for (;;) {
        const StreamParser::Outcome outcome = write(&app);
        if (!m_sheetFailure.isEmpty())
            return Failure{m_sheetFailure};
        if (outcome == StreamParser::Outcome::Gone)
            return Failure{QStringLiteral("the spreadsheet application has gone")};
        if (outcome == StreamParser::Outcome::Busy) {
            if (busyFor.hasExpired() || !app.awaitLateWrite(std::chrono::milliseconds(busyFor.remainingTime())))
                return Failure{QStringLiteral("the spreadsheet application stayed busy for %1 s")
                                   .arg(std::chrono::duration_cast<std::chrono::seconds>(busyLimit).count())};
            continue;
        }
        if (!sheetFilled())
            return std::nullopt; // what waits now is an unfinished line at most
    }
}

bool SheetFeeder::sheetFilled() const { return SheetSpace::isFull(m_row) && hasLine(); }
