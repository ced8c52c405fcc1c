#pragma once

#include "Result.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QTime>
#include <cstdint>

class RunJournal;

// What a paused run received and the sheet has not taken yet. While the run
// is paused every byte goes into the journal at once, so the text waiting is
// a stretch of the journal's raw file, read back in parts at Resume: memory
// stays bounded however long the pause. Should the journal fail to keep a
// piece, that piece and all after it wait in memory instead, in order, so
// that nothing received is lost. The arrival times go with the bytes, to the
// second the block time stamps are made of, so that memory stays bounded by
// the pause's length in seconds.
class JournalBacklog {
public:
    // Bytes that arrived in one second (`arrived` is the first arrival).
    struct Part {
        QByteArray bytes;
        QTime arrived;
    };

    // The sheet stops taking the bytes at the journal's end as it is now.
    // While it holds already (a pause before the last one was caught up
    // with), it goes on holding as it was.
    void hold(const RunJournal &journal);
    // Lets go of whatever waits (a new run).
    void clear();
    bool holding() const { return m_holding; }
    // A piece that arrived at `at` while holding, after the journal was
    // given it; `kept` says whether the journal kept it.
    void arrived(const QByteArray &bytes, bool kept, const QTime &at);
    // Up to `limit` bytes of what waits, in arrival order, in parts of one
    // arrival second each. When the last of it is taken the backlog stops
    // holding. A journal that cannot be read back is the failure; what it
    // held is then missing, and what waits beyond it comes at the next take.
    Result<QList<Part>> take(qsizetype limit);
    // Bytes still waiting.
    std::int64_t size() const { return (m_to - m_from) + m_memory.size(); }

private:
    // The bytes that arrived while holding, up to `end` (counted from the
    // hold), arrived from `at` on.
    struct Stamp {
        std::int64_t end = 0;
        QTime at;
    };
    Result<QByteArray> takeBytes(qsizetype limit);
    // Cuts `bytes`, the next ones handed out, at the stamps' ends.
    QList<Part> stamped(const QByteArray &bytes);

    bool m_holding = false;
    QList<Stamp> m_stamps;
    std::int64_t m_arrivedBytes = 0; // since the hold
    std::int64_t m_handedBytes = 0;  // of those, handed out or lost
    QFile m_raw;
    std::int64_t m_from = 0; // next byte of the raw file to hand out
    std::int64_t m_to = 0;   // end of the stretch kept in the journal
    bool m_inMemory = false; // the journal failed: the rest waits here
    QByteArray m_memory;
};
