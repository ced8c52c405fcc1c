#pragma once

#include <QString>
#include <atomic>

// SHA-256 of a file, read in bounded pieces so a long journal costs little
// memory.
class FileDigest {
public:
    // Lower-case hex; empty when the file cannot be read (the reason in
    // *error when given) or `cancel` was set meanwhile.
    static QString sha256(const QString &path, QString *error = nullptr, const std::atomic<bool> *cancel = nullptr);
};
