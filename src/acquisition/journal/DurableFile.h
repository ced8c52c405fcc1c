#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QString>
#include <optional>

// A small file written whole or not at all, private to the user: the bytes
// go to a temporary file in the same folder, which is synced, then takes the
// file's name, and the folder is synced so the new name survives a power
// loss. A reader sees the old file or the new one, never a part.
class DurableFile {
public:
    // Writes a file that must not exist yet; refuses to replace one.
    static std::optional<Failure> create(const QString &path, const QByteArray &bytes);
    // Writes the file, replacing the one there (never through a link).
    static std::optional<Failure> replace(const QString &path, const QByteArray &bytes);

private:
    static std::optional<Failure> write(const QString &path, const QByteArray &bytes, bool replacing);
};
