#pragma once

#include "Failure.h"
#include "ManifestEnd.h"
#include "ManifestEntry.h"
#include "ManifestRun.h"
#include "ManifestSave.h"
#include "Result.h"

#include <QList>
#include <QString>
#include <optional>

// Keeps a run's record as the run goes: its manifest begun at Start, ended
// at Stop or when a run that ended without Stop is recovered, an entry added
// for whatever happens to it later; and after each, its readable summary
// rendered again from the manifest (ManifestSummary), replacing the old one
// whole. A failure is logged and returned; the run goes on without it.
class RunRecordKeeper {
public:
    // Makes the manifest of the run of `rawPath` with its run entry.
    static std::optional<Failure> begin(const QString &rawPath, const ManifestRun &run);
    // Adds the end entry and the saves; when the run has no manifest yet (it
    // could not be written at Start, or an older Halvern began the run),
    // makes it first with `run`.
    static std::optional<Failure> end(const QString &rawPath, const ManifestRun &run, const ManifestEnd &end,
                                      const QList<ManifestSave> &saves);
    // A kept run's workbook made again: a rebuild entry, then the saves.
    static std::optional<Failure> rebuilt(const QString &rawPath, const QString &rebuiltLine, const QString &macroLine,
                                          const QList<ManifestSave> &saves);
    // Adds an entry of any kind; gives it with its hash, for a witness.
    static Result<ManifestEntry> add(const QString &rawPath, const ManifestEntry &entry);
    // Writes the summary again from the manifest.
    static std::optional<Failure> renderSummary(const QString &rawPath);

private:
    // `first`, then each save, then the summary drawn again.
    static std::optional<Failure> appendWithSaves(const QString &rawPath, const ManifestEntry &first,
                                                  const QList<ManifestSave> &saves);
};
