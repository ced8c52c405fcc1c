#pragma once

#include "BrokenLine.h"
#include "StreamParser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>

class SpreadsheetApp;

// The received text on its way into the active sheet: the parser with its
// cursor (row and block column), the text waiting for it, the line a lost
// port broke off, the lines handled and the sheets added. The live tick, a
// pause's backlog and the replay of a journal all write through one feeder,
// so the workbook made from a journal is the run's.
class SheetFeeder {
public:
    // `clock` gives the time of day for the block time stamps; the system
    // clock when empty.
    explicit SheetFeeder(std::function<QTime()> clock = {});

    // A new stream: row 1, block column 1, nothing waiting, counts cleared.
    void reset();
    // Who is told where each line went (not owned); none when null.
    void setObserver(LineObserver *observer) { m_parser.setObserver(observer); }

    // Text received, in order (as the journal keeps it). A LF that ends a
    // broken-off line is taken out and counted as handled.
    void receive(QByteArrayView text);
    // The port came back after a loss: the unfinished last line waiting is
    // dropped (see BrokenLine). True when there was one.
    bool breakLine();
    // Writes the complete lines waiting into the active sheet of `app` (none:
    // gone), as many as it has rows left, and stops at the first busy or
    // closed write. A full sheet goes on in a new one at the next write; when
    // that cannot be added, the lines past the sheet's last row are counted
    // as lost and sheetFailure() says why.
    StreamParser::Outcome write(SpreadsheetApp *app);
    // The active sheet is full and complete lines wait for the next one.
    bool sheetFilled() const;
    // True when a complete line waits.
    bool hasLine() const;
    // Drops what waits (Stop is done with it).
    void clearPending() { m_pending.clear(); }

    const QByteArray &pending() const { return m_pending; }
    std::int32_t row() const { return m_row; }
    std::int16_t blockColumn() const { return m_blockColumn; }
    // Lines of the stream the parser is done with, a broken-off line's end included.
    std::int64_t linesHandled() const { return m_linesHandled; }
    // The rows used, in every sheet so far.
    std::int64_t rowsUsed() const { return m_rowsInFullSheets + m_row - 1; }
    int sheets() const { return m_sheetsAdded + 1; }
    qint64 brokenLinesDropped() const { return m_brokenLine.dropped(); }
    const StreamParser::Counts &counts() const { return m_parser.counts(); }
    // Why the last new sheet could not be added; empty when it was.
    const QString &sheetFailure() const { return m_sheetFailure; }

private:
    void addSheet(SpreadsheetApp &app);

    StreamParser m_parser;
    BrokenLine m_brokenLine;
    QByteArray m_pending;
    std::int32_t m_row = 1;
    std::int16_t m_blockColumn = 1;
    std::int64_t m_linesHandled = 0;
    std::int64_t m_rowsInFullSheets = 0; // rows of the sheets filled before the active one
    int m_sheetsAdded = 0;
    QString m_sheetFailure;
};
