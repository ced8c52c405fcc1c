#pragma once

#include "Failure.h"
#include "LineEnds.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>

// The runs kept in a journal folder (see RunJournal), as the Runs window,
// the start-up offer and --list-runs show them. A listing reads the folder,
// the file sizes and the small summaries, never a whole ".raw": the lines of
// a run without a summary are counted separately (countLines).
class RunCatalog {
public:
    enum class State : std::uint8_t {
        Running,    // a running program holds its journal
        Saved,      // its summary names the workbook
        NotSaved,   // its summary says it was not saved
        Unfinished, // no summary and nobody holds it: it ended without Stop
        Damaged,    // its files are not what Halvern writes (see damage)
    };
    struct Run {
        QString rawPath;
        QDateTime started;
        QDateTime ended;               // Stop, or the last byte of a run ended without it
        bool endedWithoutStop = false; // its summary says so
        int comNumber = 0;
        QString device; // as the summary gives it; may be empty
        std::int64_t bytes = 0;
        std::int64_t lines = -1; // -1 until counted
        State state = State::Unfinished;
        QString savedAs;
        std::int64_t diskBytes = 0; // the run's files together
        QString damage;             // "the summary is a link", ...; empty unless Damaged
    };

    // How far a count of complete lines got, to go on from there as a raw file grows.
    struct LineTally {
        std::int64_t offset = 0;
        LineEnds ends;
    };

    // Every run in `folder`, newest first. `totalBytes`, when given, gets the
    // size of everything in the folder.
    static QList<Run> scan(const QString &folder, std::int64_t *totalBytes = nullptr);
    // The complete lines (CR LF) in a raw file, read in bounded pieces; -1
    // when it cannot be read or `cancel` was set meanwhile.
    static std::int64_t countLines(const QString &rawPath, const std::atomic<bool> *cancel = nullptr);
    // Counts on from `tally` through at most `limit` more bytes; false (the
    // tally as far as it got) when the file cannot be read or `cancel` was set.
    static bool countLinesOn(const QString &rawPath, LineTally &tally, std::int64_t limit,
                             const std::atomic<bool> *cancel = nullptr);
    // When the last byte of the run arrived: its last note in ".times", else
    // the time the raw file was last written.
    static QDateTime lastArrival(const QString &rawPath);
    // Removes the run's files (raw, times, summary). Never a running run's:
    // why a file stays, or nothing when all went.
    static std::optional<Failure> remove(const Run &run);

    // "running", "saved", "not saved", "unfinished", "damaged".
    static QString stateText(State state);
    // A path on one line: control characters (and the backslash) as \xNN.
    static QString printable(const QString &path);
    // One line of `halvern --list-runs`, TAB-separated: the start
    // (yyyy-MM-dd HH:mm:ss), COM<n>, bytes, lines, the state ("damaged: "
    // and why, for a damaged run), the workbook (empty when none) and the raw
    // file (printable).
    static QString listingLine(const Run &run);
    // The runs in `runs` that ended without Stop and were never made or declined.
    static QList<Run> unfinished(const QList<Run> &runs);
};
