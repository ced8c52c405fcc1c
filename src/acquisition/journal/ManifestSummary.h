#pragma once

#include "Result.h"
#include "RunManifest.h"
#include "RunSummary.h"

#include <QString>

// The readable summary of a run, made from its manifest: the lines the Runs
// window, --list-runs and a person read (RunSummary), each value kept on its
// line. The manifest is the record; the summary is only its rendering.
class ManifestSummary {
public:
    // The summary of the run of `rawPath` as `manifest` records it; a Failure
    // when its run entry is not one. A run that has not ended yet (or ended
    // without Stop and is not recovered) has no end entry: its stop is then
    // left invalid.
    static Result<RunSummary> of(const RunManifest &manifest, const QString &rawPath);
    // `text` with its lines kept as lines only where they begin with `label`;
    // any other line break, and every control character, shown as an escape.
    static QString keptOnItsLines(const QString &text, const QString &label);
};
