#pragma once

#include "Failure.h"
#include "Result.h"

#include <QByteArray>
#include <QString>
#include <optional>

// A file a run keeps for its record, private to the user (0600): written
// whole or not at all (a temporary name, synced, renamed, the folder synced),
// and read only as a plain file, never through a link.
class KeptFile {
public:
    static std::optional<Failure> write(const QString &path, const QByteArray &bytes);
    static Result<QByteArray> read(const QString &path);
};
