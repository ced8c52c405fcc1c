#pragma once

#include "Failure.h"
#include "LineEnds.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

// The record of one run: every byte the run takes in, exactly as received,
// in "<base>.raw", and when each piece arrived in "<base>.times" beside it, so
// that the run can be rebuilt and replayed with its own timing. The workbook
// is made from these bytes; if it is lost, the journal is not.
//
// "<base>.times" notes the arrival of each piece, in local time (see
// RunFiles). "gap" marks the first piece after the port was lost and opened
// again: the line it broke off in was dropped from the workbook.
//
// Every append goes to the system at once (one write each), and the files are
// synced to the disk at least once a second, so a crash or a power cut costs
// at most the last second. Each sync that follows new bytes, and the close,
// first note a checkpoint in ".times": the SHA-256 of both files up to there
// (see RunFiles), so that a run that ends without Stop is hashed as it went,
// not as its files are found later. A journal that cannot be made says so (problem())
// and the run goes on without it. A write or sync that fails later (disk
// full, I/O error, the files removed) leaves the files as they were before
// it and is tried again with the next piece; the first piece kept after the
// failure is noted as a gap. incompleteSince() tells from when bytes are
// missing.
//
// While open, the journal holds an flock on its ".raw": the kernel lets go of
// it when the process ends, however it ends, so a journal without a summary
// that nobody holds is a run that ended without Stop. The folder is the
// user's alone (0700) and so are the files (0600): they hold lab data.
class RunJournal {
public:
    RunJournal() = default;
    ~RunJournal();
    RunJournal(const RunJournal &) = delete;
    RunJournal &operator=(const RunJournal &) = delete;

    // $XDG_DATA_HOME/Halvern/runs (default ~/.local/share/Halvern/runs).
    static QString defaultFolder();

    // Starts a new journal in `folder`. The failure (also kept as problem())
    // when the files cannot be made; appends are then ignored.
    std::optional<Failure> open(const QString &folder, const QDateTime &start, int comNumber);
    // The bytes that arrived at `at`. Empty pieces are not noted.
    void append(const QByteArray &bytes, const QDateTime &at);
    // The port was lost and is open again: the next piece is noted as a gap.
    void noteGap() { m_gapBefore = true; }
    // Syncs to the disk when the last sync is `interval` ms or more ago.
    void syncIfDue(const QDateTime &now, int interval = 1000);
    // Syncs and closes (also done by the destructor).
    void close();

    bool isOpen() const { return m_raw >= 0; }
    QString rawPath() const { return m_base.isEmpty() ? QString() : m_base + QStringLiteral(".raw"); }
    QString timesPath() const;
    QString summaryPath() const;
    // Bytes handed to append(), kept or not.
    std::int64_t bytes() const { return m_bytes; }
    // Bytes in the raw file (its size).
    std::int64_t keptBytes() const { return m_kept; }
    // Complete lines (CR LF) in the bytes so far.
    std::int64_t lines() const { return m_lineEnds.lines(); }
    // Why the journal could not be made or stopped keeping bytes (the first
    // time); empty while all is well.
    QString problem() const { return m_problem; }
    // True from a failed write or sync until a piece is kept again.
    bool failing() const { return m_failing; }
    // How many times it began to fail; a caller can tell a new failure by it.
    int failures() const { return m_failures; }
    // When bytes first went missing (invalid while the journal is complete),
    // and how many are missing.
    QDateTime incompleteSince() const { return m_incompleteSince; }
    std::int64_t bytesMissing() const { return m_bytes - m_kept; }
    // SHA-256 (hex) of what the files hold, taken as they are written, so
    // that the end of a long run costs no second read.
    QString rawSha256() const { return QString::fromLatin1(m_rawHash.result().toHex()); }
    QString timesSha256() const { return QString::fromLatin1(m_timesHash.result().toHex()); }
    // Checkpoints noted so far.
    int checkpoints() const { return m_checkpoints; }

    // Writes the readable summary beside the journal (replacing an earlier one).
    bool writeSummary(const QString &text);

    // True while a running program holds the journal of rawPath open.
    static bool isHeld(const QString &rawPath);

private:
    void fail(const QString &what);
    // A write or sync failed at `at`: the files are cut back to what was
    // kept, and the next piece tries again.
    void lose(const QString &what, const QDateTime &at);
    // The files were removed under the run: new ones are made in their place.
    bool remake();
    bool makeFiles();
    bool filesRemoved() const;
    // Notes a checkpoint unless one was noted at this offset; false when it
    // cannot be written.
    bool checkpoint();

    QString m_base;
    int m_raw = -1;
    int m_times = -1;
    std::int64_t m_bytes = 0;
    std::int64_t m_kept = 0;      // bytes in the .raw file
    std::int64_t m_timesSize = 0; // bytes in the .times file
    LineEnds m_lineEnds;
    bool m_gapBefore = false;
    QDateTime m_lastSync;
    QString m_problem;
    bool m_failing = false;
    int m_failures = 0;
    QDateTime m_incompleteSince;
    QCryptographicHash m_rawHash{QCryptographicHash::Sha256};
    QCryptographicHash m_timesHash{QCryptographicHash::Sha256};
    std::int64_t m_checkpointAt = -1; // the raw offset of the last checkpoint
    int m_checkpoints = 0;
};
