#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One running copy per user: a lock file in the runtime folder. A lock left
// behind by a crashed copy is recognised as stale and taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());
    // True when this process now holds the lock (no other copy runs).
    bool tryAcquire();
    static QString defaultLockPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};
