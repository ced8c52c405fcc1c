#pragma once

#include "RunProvenance.h"

#include <QString>

// Gathers a run's provenance: the hashes of its journal, this user, computer
// and program, and (through SummaryChain) the link to the run before it.
class ProvenanceGatherer {
public:
    // The hashes of the journal at `rawPath` (read from its files unless
    // given, as a live journal keeps them), this user, computer and program,
    // and the link to the run before it in its folder.
    static RunProvenance gather(const QString &rawPath, const QString &rawSha256 = {}, const QString &timesSha256 = {});
    // Adds a workbook file as it is on the disk now; nothing for an empty path.
    static void addSaved(RunProvenance &provenance, const QString &path);

    // This program's version.
    static QString programVersion();
};
