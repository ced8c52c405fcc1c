#pragma once

#include "Failure.h"

#include <QString>
#include <optional>

// Whether a folder can take a file, found by writing one: a read-only mount
// or a full disk shows only then (root may write where the permission bits
// say no).
class FolderProbe {
public:
    // Why `folder` cannot take a file of `bytes` (64 KiB at least): "No space
    // left on device", "Read-only file system", ...; nothing when a test file
    // of that size can be made there. The test file has a name of its own,
    // so that two processes probing one folder do not meet.
    static std::optional<Failure> check(const QString &folder, qint64 bytes = 0);
};
