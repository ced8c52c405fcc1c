#pragma once

#include "ManifestEntry.h"

#include <QList>
#include <QString>

// A run's manifest as read: its entries in order, each chained to everything
// before it. The first is the run's own (ManifestRun, written once when the
// run starts), then what it received and the hashes of its journal when it
// ended (ManifestEnd), then whatever happened to it later: a save
// (ManifestSave), a rebuild, a Cancel, or an entry of any other kind a part
// of the program adds. RunManifestReader reads it, RunManifestWriter writes it.
class RunManifest {
public:
    // A workbook made again from the journal: its fields "rebuilt" and
    // "macro" (summary lines); the save entries of its files follow.
    static const QString kRebuildKind;

    // "<base>.manifest" beside the run's raw file.
    static QString pathFor(const QString &rawPath);

    int version = 0;
    QList<ManifestEntry> entries;

    // The first entry of a kind, or nullptr.
    const ManifestEntry *first(const QString &kind) const;
    // The last entry of a kind, or nullptr.
    const ManifestEntry *last(const QString &kind) const;
    QList<ManifestEntry> entriesOf(const QString &kind) const;
    // The hash of the last entry: the SHA-256 of the whole file.
    QString hash() const;
};
