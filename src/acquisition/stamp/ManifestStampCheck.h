#pragma once

#include "StampCheck.h"

class RunManifest;

// The time stamps of a run against its manifest (see StampCheck): each
// entry is known by its hash, labelled "entry <n> (<kind>)". Its event is
// the run's start for the run entry, the Stop for an end entry at Stop, and
// the time it was written ("at") for any other (a recovered run's end, a
// save, a rebuild): a record written again later is stamped too late for
// the events it claims. Stamps are expected when
// the run's first entry names an authority (ManifestRun's timestamp.url).
class ManifestStampCheck {
public:
    static StampCheck::Outcome check(const QString &rawPath, const RunManifest &manifest, const QString &caFile);
};
