#pragma once

#include "BrokenLine.h"
#include "Failure.h"
#include "StreamParser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QTime>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class SpreadsheetApp;

// The received text on its way into the active sheet: the parser with its
// cursor (row and block column), the text waiting for it, the line a lost
// port broke off, the lines handled and the sheets added. The live tick, a
// pause's backlog and the replay of a journal all write through one feeder,
// so the workbook made from a journal is the run's. A block's time stamp is
// the arrival of the bytes that complete its separator, however late they
// are written.
class SheetFeeder {
public:
    // `clock` gives the time of day of text received without its arrival
    // time; the system clock when empty.
    explicit SheetFeeder(std::function<QTime()> clock = {});
    SheetFeeder(const SheetFeeder &) = delete;
    SheetFeeder &operator=(const SheetFeeder &) = delete;

    // A new stream: row 1, block column 1, nothing waiting, counts cleared.
    void reset();
    // Who is told where each line went (not owned); none when null.
    void setObserver(LineObserver *observer) { m_parser.setObserver(observer); }

    // Text received, in order (as the journal keeps it), and when it arrived
    // (invalid: now, by the clock). A LF that ends a broken-off line is taken
    // out and counted as handled.
    void receive(QByteArrayView text, QTime arrived = QTime());
    // How many cells and rows one spreadsheet call carries at most: the live
    // tick keeps the parser's defaults, a rebuild takes larger blocks.
    void setLimits(const StreamParser::Limits &limits) { m_parser.setLimits(limits); }
    // The port came back after a loss: the unfinished last line waiting is
    // dropped (see BrokenLine). True when there was one.
    bool breakLine();
    // Writes the complete lines waiting into the active sheet of `app` (none:
    // gone), as many as it has rows left, and stops at the first busy or
    // closed write. A full sheet goes on in a new one at the next write; when
    // that cannot be added, the lines past the sheet's last row are counted
    // as lost and sheetFailure() says why.
    StreamParser::Outcome write(SpreadsheetApp *app);
    // Writes every complete line that waits, on new sheets as the active one
    // fills: the end of a Stop and each stretch of a replay. The rule is the
    // same for both: a busy spreadsheet is waited for while its late write
    // runs, up to `busyLimit` from the drain's start; the drain ends at the
    // first failure (the spreadsheet gone, busy past the limit, or a sheet
    // that cannot be added), and the lines not written stay waiting for the
    // caller to count. The callers differ only in the limit they give: Stop
    // keeps the user waiting a normal call's time, since the run's journal
    // makes the workbook anyway, a replay a minute.
    std::optional<Failure> drain(SpreadsheetApp &app, std::chrono::milliseconds busyLimit);
    // The active sheet is full and complete lines wait for the next one.
    bool sheetFilled() const;
    // True when a complete line waits.
    bool hasLine() const;
    // Drops what waits (Stop is done with it).
    void clearPending();

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
    // The bytes of m_pending before `end` (and after the one before) arrived
    // at `at`. Neighbours stamped with the same second are one.
    struct Arrival {
        qsizetype end = 0;
        QTime at;
    };

    void addSheet(SpreadsheetApp &app);
    QTime arrivalOf(qsizetype position) const;
    // m_pending lost its first `consumed` bytes, or was cut at its end.
    void fitArrivals(qsizetype consumed);

    std::function<QTime()> m_clock;
    QList<Arrival> m_arrivals;

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
