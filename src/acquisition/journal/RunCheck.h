#pragma once

#include "ManifestEnd.h"
#include "RunProvenance.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <optional>

// Checks kept runs against what their manifests record: the manifest whole,
// the journal's bytes and times against their hashes and every checkpoint,
// each saved workbook byte for byte, and the chain of manifests over the runs
// folder. A run whose journal has checkpoints but no manifest had its record
// removed; only runs kept before the manifest existed are "not recorded", and
// they never match. Reads files only, never an office.
class RunCheck {
public:
    enum class Verdict : std::uint8_t {
        Matches,
        Changed,     // a file is not as recorded, or the chain has a gap
        Missing,     // a file the record names is not there: nothing can be told of it
        NotRecorded, // the summary predates the hashes, or there is none
    };
    struct Result {
        Verdict verdict = Verdict::Matches;
        QStringList lines;       // what was found, for a person
        QList<Verdict> verdicts; // of each line
        void add(Verdict v, const QString &line);
    };

    // The run's record without its workbooks: the manifest, the journal
    // against it and its checkpoints, and the link of the run after it.
    static Result record(const QString &rawPath, const std::atomic<bool> *cancel = nullptr);
    // The record and every workbook the run's manifest names.
    static Result run(const QString &rawPath, const std::atomic<bool> *cancel = nullptr);
    // Every finished run in `folder`: a line for each run that does not
    // match, one for each gap in the chain, and a closing count. Runs an
    // older Halvern kept are counted as not recorded and change no verdict.
    static Result folder(const QString &folder);
    // The gaps in the chain of manifests in `folder`, one line each.
    static QStringList chainGaps(const QString &folder);

    // The recorded provenance of a run, from its manifest (its current
    // workbook files, the journal's hashes at its end), or from the summary
    // of a run kept before manifests; recorded() is false without either.
    static RunProvenance recorded(const QString &rawPath);

    // "matches", "changed", "missing", "not recorded".
    static QString verdictText(Verdict verdict);
    // The exit status of a check: 0 matches, 1 changed, 2 cannot tell.
    static int exitStatus(Verdict verdict);

private:
    // A run without a manifest: its record removed, or kept before manifests.
    static void notRecorded(const QString &rawPath, Result &result, const std::atomic<bool> *cancel);
    static void hashes(const QString &rawPath, const QString &rawSha256, const QString &timesSha256, Result &result,
                       const std::atomic<bool> *cancel);
    // Every checkpoint, and the one a recovered run was hashed to by its `end`.
    static void checkpoints(const QString &rawPath, const std::optional<ManifestEnd> &end, Result &result,
                            const std::atomic<bool> *cancel);
};
