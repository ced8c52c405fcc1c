#pragma once

#include <QString>

// Whether a folder can take a file, found by writing one: a read-only mount
// or a full disk shows only then (root may write where the permission bits
// say no).
class FolderProbe {
public:
    // Why `folder` cannot take a file ("No space left on device",
    // "Read-only file system", ...); empty when a test write succeeds.
    static QString problem(const QString &folder);
};
