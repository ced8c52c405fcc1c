#pragma once

#include "ManifestWitness.h"
#include "TimestampClient.h"

#include <QString>

// Has each entry written to a run's manifest stamped by the outside
// authority of the settings: the entry's hash (the SHA-256 of the manifest
// up to its end) is sent in the background, and the token kept beside the
// run (StampFile). Nothing happens when no authority is set.
class ManifestStamper : public ManifestWitness {
public:
    explicit ManifestStamper(TimestampSettings settings);

    bool enabled() const { return m_client.enabled(); }
    // `entry` was just written to the manifest of the run at `rawPath`.
    void stamp(const QString &rawPath, const ManifestEntry &entry);
    void witness(const QString &manifestPath, const ManifestEntry &entry) override;

    TimestampClient &client() { return m_client; }

private:
    TimestampClient m_client;
};
