#pragma once

#include "StampCheck.h"

class RunManifest;

// The time stamps of a run against its manifest (see StampCheck): each
// entry is known by its hash, labelled "entry <n> (<kind>)", and its event
// is its own time ("at", "started" or "stopped"). Stamps are expected when
// the run's first entry names an authority.
class ManifestStampCheck {
public:
    static StampCheck::Outcome check(const QString &rawPath, const RunManifest &manifest, const QString &caFile);
};
