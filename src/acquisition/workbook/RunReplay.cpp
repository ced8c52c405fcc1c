#include "RunReplay.h"

#include "JournalReader.h"
#include "SheetFeeder.h"
#include "SpreadsheetApp.h"

namespace {
// How long a busy office is waited for before the replay gives up.
constexpr std::chrono::milliseconds kBusyLimit{60000};
// Pieces (a run's ticks, often a line or two each) are gathered up to this
// size, so the parser writes many lines a call instead of one call a tick.
constexpr qsizetype kGatherBytes = qsizetype{2} * 1024 * 1024;
} // namespace

StreamParser::Limits RunReplay::blockLimits()
{
    StreamParser::Limits limits;
    limits.callRows = kBlockRows;
    limits.callCells = kBlockCells;
    limits.callChars = kBlockChars;
    return limits;
}

RunReplay::RunReplay(SpreadsheetApp &app, Progress progress) : m_app(app), m_progress(std::move(progress)) {}

std::optional<Failure> RunReplay::replay(JournalReader &reader)
{
    try {
        return replayAll(reader);
    } catch (const SpreadsheetError &e) {
        return Failure{QString::fromStdString(e.what())};
    }
}

std::optional<Failure> RunReplay::replayAll(JournalReader &reader)
{
    // Without a .times the stamps come from this replay's clock.
    SheetFeeder feeder;
    feeder.setLimits(blockLimits());
    m_rows = 0;
    // Writes the complete lines gathered so far, waiting for a busy office.
    auto writeLines = [&]() -> std::optional<Failure> {
        std::optional<Failure> failure = feeder.drain(m_app, kBusyLimit);
        m_counts = feeder.counts();
        m_rows = feeder.rowsUsed();
        return failure;
    };
    JournalReader::Piece piece;
    while (reader.next(piece)) {
        if (piece.afterGap) {
            // As in the run when the port came back: the lines so far are
            // written with their own times, the one it broke off in dropped.
            if (std::optional<Failure> failure = writeLines())
                return failure;
            feeder.breakLine();
        }
        feeder.receive(piece.bytes, piece.arrived.time());
        if (feeder.pending().size() < kGatherBytes)
            continue;
        if (std::optional<Failure> failure = writeLines())
            return failure;
        if (m_progress)
            m_progress(reader.position(), reader.rawSize());
    }
    if (reader.failure())
        return reader.failure();
    if (std::optional<Failure> failure = writeLines())
        return failure;
    if (m_progress)
        m_progress(reader.position(), reader.rawSize());
    return std::nullopt;
}
