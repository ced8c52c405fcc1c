#pragma once

#include <QString>

class ManifestEntry;

// Someone outside the runs folder told of each entry written to a run's
// manifest, with its hash (a time-stamping authority, an archive). Told on
// the writer's thread; must not wait for anything.
class ManifestWitness {
public:
    virtual ~ManifestWitness() = default;
    virtual void witness(const QString &manifestPath, const ManifestEntry &entry) = 0;
};
