#pragma once

#include <QString>

// Whether a folder can take a file, found by writing one: a read-only mount
// or a full disk shows only then (root may write where the permission bits
// say no).
class FolderProbe {
public:
    // Why `folder` cannot take a file of `bytes` (64 KiB at least): "No space
    // left on device", "Read-only file system", ...; empty when a test file
    // of that size can be made there.
    static QString problem(const QString &folder, qint64 bytes = 0);
};
