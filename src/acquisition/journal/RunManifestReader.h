#pragma once

#include "Result.h"
#include "RunManifest.h"

#include <QByteArray>
#include <QString>

// Reads a run manifest and checks it whole: its version, every line a field
// of an entry with its value escaped as written, no key twice in an entry,
// the last line ended, and each entry holding the hash of everything before
// it. Any fault is a Failure saying where: a manifest is taken as written or
// not at all.
class RunManifestReader {
public:
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    // The manifest at `path`, read as a plain file (never a link or a FIFO).
    static Result<RunManifest> read(const QString &path);
    static Result<RunManifest> parse(const QByteArray &bytes);
    // The bytes of the file at `path` the same way, unchecked.
    static Result<QByteArray> readBytes(const QString &path);
};
