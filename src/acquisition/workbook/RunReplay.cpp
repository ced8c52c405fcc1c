#include "RunReplay.h"

#include "BrokenLine.h"
#include "JournalReader.h"
#include "SheetSpace.h"
#include "SpreadsheetApp.h"
#include "StreamParser.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>

namespace {
// How long a busy office is waited for before the replay gives up.
constexpr int kBusyLimitMs = 60000;
constexpr int kBusyPauseMs = 100;
// Pieces (a run's ticks, often a line or two each) are gathered up to this
// size, so the parser writes many lines a call instead of one call a tick.
constexpr qsizetype kGatherBytes = 256 * 1024;
const QByteArray kSeparator = QByteArrayLiteral("\r\n\r\n\r\n");

// True when the bytes from `from` on complete a block separator (three CR LF):
// its time stamp must be the arrival of this piece, as in the run.
bool completesSeparator(const QByteArray &text, qsizetype from)
{
    return text.indexOf(kSeparator, std::max<qsizetype>(0, from - (kSeparator.size() - 1))) >= 0;
}
} // namespace

RunReplay::RunReplay(SpreadsheetApp &app, Progress progress) : m_app(app), m_progress(std::move(progress)) {}

bool RunReplay::replay(JournalReader &reader, QString *error)
{
    try {
        return replayAll(reader, error);
    } catch (const SpreadsheetError &e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
}

bool RunReplay::replayAll(JournalReader &reader, QString *error)
{
    QDateTime arrived;
    StreamParser parser([&arrived] { return arrived.isValid() ? arrived.time() : QTime::currentTime(); });
    QByteArray pending;
    BrokenLine brokenLine;
    std::int16_t column = 1;
    m_row = 1;
    m_rowsInFullSheets = 0;
    // Writes the complete lines gathered so far, waiting for a busy office.
    auto writeLines = [&]() {
        QDeadlineTimer busyFor(kBusyLimitMs);
        for (;;) {
            if (SheetSpace::isFull(m_row)) {
                m_app.addSheet(); // a full sheet goes on in a new one, as in the run
                m_rowsInFullSheets += m_row - 1;
                m_row = 1;
            }
            const qsizetype waiting = pending.size();
            const qsizetype offered = SheetSpace::fitting(pending, m_row).size();
            qsizetype consumed = 0;
            const StreamParser::Outcome outcome =
                parser.parse(QByteArrayView(pending).first(offered), &m_app, m_row, column, consumed);
            pending.remove(0, consumed);
            m_counts = parser.counts();
            if (outcome == StreamParser::Outcome::Gone) {
                *error = QStringLiteral("the spreadsheet application has gone");
                return false;
            }
            if (outcome == StreamParser::Outcome::Busy) {
                if (busyFor.hasExpired()) {
                    *error = QStringLiteral("the spreadsheet application stayed busy for a minute");
                    return false;
                }
                QThread::msleep(kBusyPauseMs);
                continue;
            }
            if (offered < waiting && consumed > 0)
                continue; // the rest goes on a new sheet
            return true;
        }
    };
    JournalReader::Piece piece;
    QString readError;
    while (reader.next(piece, &readError)) {
        if (piece.afterGap) {
            // As in the run when the port came back: the lines so far are
            // written with their own times, the one it broke off in dropped.
            if (!writeLines())
                return false;
            brokenLine.drop(pending, parser);
        }
        arrived = piece.arrived;
        const qsizetype before = pending.size();
        pending.append(brokenLine.received(piece.bytes));
        if (pending.size() < kGatherBytes && !completesSeparator(pending, before))
            continue;
        if (!writeLines())
            return false;
        if (m_progress)
            m_progress(reader.position(), reader.rawSize());
    }
    if (!readError.isEmpty()) {
        *error = readError;
        return false;
    }
    if (!writeLines()) // with the last piece's time, as the run's last tick
        return false;
    if (m_progress)
        m_progress(reader.position(), reader.rawSize());
    return true;
}
