#pragma once

#include "Result.h"

#include <QString>
#include <atomic>

// SHA-256 of a file, read in bounded pieces so a long journal costs little
// memory.
class FileDigest {
public:
    // Lower-case hex, or why the file could not be read (or that `cancel`
    // was set meanwhile).
    static Result<QString> sha256(const QString &path, const std::atomic<bool> *cancel = nullptr);
};
