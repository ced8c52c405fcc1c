#include "SheetFeeder.h"

#include "LineEnds.h"
#include "LogCategories.h"
#include "SheetSpace.h"
#include "SpreadsheetApp.h"

#include <exception>
#include <utility>

SheetFeeder::SheetFeeder(std::function<QTime()> clock) : m_parser(std::move(clock)) {}

void SheetFeeder::reset()
{
    m_parser.reset();
    m_brokenLine.reset();
    m_pending.clear();
    m_row = 1;
    m_blockColumn = 1;
    m_linesHandled = 0;
    m_rowsInFullSheets = 0;
    m_sheetsAdded = 0;
    m_sheetFailure.clear();
}

void SheetFeeder::receive(QByteArrayView text)
{
    // The journal counts the CR LF that ends a dropped line; the parser never
    // sees it, so it is counted here, or Stop would find a line missing.
    bool endedLine = false;
    m_pending.append(m_brokenLine.received(text, &endedLine));
    if (endedLine)
        ++m_linesHandled;
}

bool SheetFeeder::breakLine()
{
    const qint64 dropped = m_brokenLine.dropped();
    m_brokenLine.drop(m_pending, m_parser);
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
    return outcome;
}

bool SheetFeeder::sheetFilled() const { return SheetSpace::isFull(m_row) && hasLine(); }
