#include "RunReplay.h"

#include "JournalReader.h"
#include "SpreadsheetApp.h"
#include "StreamParser.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>

namespace {
// How long a busy office is waited for before the replay gives up.
constexpr int kBusyLimitMs = 60000;
constexpr int kBusyPauseMs = 100;
} // namespace

RunReplay::RunReplay(SpreadsheetApp &app, Progress progress) : m_app(app), m_progress(std::move(progress)) {}

bool RunReplay::replay(JournalReader &reader, QString *error)
{
    QDateTime arrived;
    StreamParser parser([&arrived] { return arrived.isValid() ? arrived.time() : QTime::currentTime(); });
    QByteArray pending;
    std::int16_t column = 1;
    m_row = 1;
    JournalReader::Piece piece;
    QString readError;
    while (reader.next(piece, &readError)) {
        arrived = piece.arrived;
        pending.append(piece.bytes);
        QDeadlineTimer busyFor(kBusyLimitMs);
        for (;;) {
            qsizetype consumed = 0;
            const StreamParser::Outcome outcome = parser.parse(pending, &m_app, m_row, column, consumed);
            pending.remove(0, consumed);
            if (outcome == StreamParser::Outcome::Ok)
                break;
            if (outcome == StreamParser::Outcome::Gone) {
                *error = QStringLiteral("the spreadsheet application has gone");
                return false;
            }
            if (busyFor.hasExpired()) {
                *error = QStringLiteral("the spreadsheet application stayed busy for a minute");
                return false;
            }
            QThread::msleep(kBusyPauseMs);
        }
        if (m_progress)
            m_progress(reader.position(), reader.rawSize());
    }
    if (!readError.isEmpty()) {
        *error = readError;
        return false;
    }
    return true;
}
