#pragma once

#include "ManifestEntry.h"
#include "Result.h"

#include <QByteArray>
#include <QString>

class ManifestWitness;

// Writes run manifests, each change whole (DurableFile): the manifest is made
// once with its first entry, and every later entry is added after it,
// holding the hash of everything before. An entry whose kind or keys are not
// names is refused, and so is an addition to a manifest that does not read
// back as written. A witness, when set, is told of each entry written.
class RunManifestWriter {
public:
    // The witness told of every entry written from now on (nullptr: none);
    // set once in main, as the program starts.
    static void setWitness(ManifestWitness *witness);
    // The field each entry gets the time it was written in, unless it has a
    // time of its own ("started", "stopped"): what a witness's time is held
    // against.
    static const QString kAtField;

    // Makes the manifest at `path`; refuses when one is there already.
    // Gives the entry as written, with its place in the chain.
    static Result<ManifestEntry> create(const QString &path, const ManifestEntry &first);
    // Adds `entry` at the end of the manifest at `path`.
    static Result<ManifestEntry> append(const QString &path, const ManifestEntry &entry);

    // The text a manifest holds for `entry` after `previousHash`.
    static Result<QByteArray> entryText(const ManifestEntry &entry, const QString &previousHash);
};
