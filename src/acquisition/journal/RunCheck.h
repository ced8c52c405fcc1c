#pragma once

#include "RunProvenance.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

// Checks kept runs against what their summaries record: the journal's bytes
// and times against their hashes, each saved workbook byte for byte, and the
// chain of summaries over the runs folder. Reads files only, never an office.
class RunCheck {
public:
    enum class Verdict : std::uint8_t {
        Matches,
        Changed,     // a file is not as recorded, or the chain has a gap
        Missing,     // a file the record names is not there: nothing can be told of it
        NotRecorded, // the summary predates the hashes, or there is none
        Unchecked,   // a file of the run is not a plain file, or cannot be read
    };
    struct Result {
        Verdict verdict = Verdict::Matches;
        QStringList lines;       // what was found, for a person
        QList<Verdict> verdicts; // of each line
        void add(Verdict v, const QString &line);
    };

    // The journal of `rawPath` against the hashes in `provenance`.
    static Result journal(const QString &rawPath, const RunProvenance &provenance,
                          const std::atomic<bool> *cancel = nullptr);
    // The journal and every workbook the run's summary names.
    static Result run(const QString &rawPath, const std::atomic<bool> *cancel = nullptr);
    // Every finished run in `folder`: a line for each run that does not
    // match or cannot be checked (and why), one for each gap in the chain,
    // and a closing count. Runs an older Halvern kept are counted as not
    // recorded and change no verdict.
    static Result folder(const QString &folder);
    // The gaps in the chain of summaries in `folder`, one line each.
    static QStringList chainGaps(const QString &folder);

    // The recorded provenance of a run; recorded() is false without one.
    static RunProvenance recorded(const QString &rawPath);

    // "matches", "changed", "missing", "not recorded", "cannot be checked".
    static QString verdictText(Verdict verdict);
    // The exit status of a check: 0 matches, 1 changed or a file that cannot
    // be checked, 2 cannot tell.
    static int exitStatus(Verdict verdict);
};
