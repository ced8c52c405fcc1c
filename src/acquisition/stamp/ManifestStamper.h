#pragma once

#include "TimestampClient.h"

#include <QString>

class ManifestEntry;

// Has each entry written to a run's manifest stamped by the outside
// authority of the settings: the entry's hash (the SHA-256 of the manifest
// up to its end) is sent in the background, and the token kept beside the
// run (StampFile). Nothing happens when no authority is set.
class ManifestStamper {
public:
    explicit ManifestStamper(TimestampSettings settings);

    bool enabled() const { return m_client.enabled(); }
    // Marks a run's first entry as stamped by this authority, so that a check
    // finds a missing stamp as such.
    void describe(ManifestEntry &first) const;
    // `entry` was just written to the manifest of the run at `rawPath`.
    void stamp(const QString &rawPath, const ManifestEntry &entry);

    TimestampClient &client() { return m_client; }

    // The field of the first entry naming the authority.
    static const QString kAuthorityField;
    // The field of an entry holding when its event happened, for entries
    // that have no time of their own ("started", "stopped").
    static const QString kAtField;

private:
    TimestampClient m_client;
};
