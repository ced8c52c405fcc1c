#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <optional>

// Reads a run journal (see RunJournal) back piece by piece, as the bytes
// arrived, with bounded memory however long the run was. Without its
// ".times" companion the raw file is read in pieces that carry no time.
// A damaged companion never keeps the bytes from being read: a line that is
// not a note in order is skipped (its bytes go with the piece before), bytes
// before the first good note carry no time, and a companion that is not a
// journal's at all is left aside. damage() tells what was skipped.
class JournalReader {
public:
    struct Piece {
        QByteArray bytes;
        QDateTime arrived;     // invalid without the companion
        bool afterGap = false; // the first piece after the port was lost and found again
    };
    // Pieces longer than this are handed out in parts with the same time.
    static constexpr qsizetype kMaxPiece = 64 * 1024;

    // Why the raw file or an existing companion cannot be read; nothing
    // when both can.
    std::optional<Failure> open(const QString &rawPath);
    bool hasTimes() const { return m_hasTimes; }
    qint64 rawSize() const { return m_rawSize; }
    qint64 position() const { return m_position; }

    // The next piece; false at the end, or when a file cannot be read
    // (failure() then tells why).
    bool next(Piece &piece);
    const std::optional<Failure> &failure() const { return m_failure; }

    // What was wrong with the companion so far ("<path>: 3 notes damaged or
    // missing (line 7 is not ...); ..."); empty when nothing was.
    QString damage() const;

private:
    QByteArray readLine();
    // Reads ahead to the next good note (m_haveNext false at the end).
    void readNote();
    void noteDamage(const QString &what);

    QFile m_raw; // opened on a descriptor: their names are kept beside them
    QFile m_times;
    QString m_rawPath;
    QString m_timesPath;
    bool m_hasTimes = false;
    qint64 m_rawSize = 0;
    qint64 m_position = 0;
    int m_line = 0;
    // The piece being handed out: up to m_end, arrived at m_at.
    qint64 m_end = 0;
    QDateTime m_at;
    bool m_gapPending = false; // its first part is still to be handed out
    // The note after it, read ahead.
    bool m_haveNext = false;
    qint64 m_nextOffset = 0;
    QDateTime m_nextAt;
    bool m_nextGap = false;
    int m_damagedLines = 0;
    std::optional<Failure> m_failure;
    QString m_firstDamage;
};
