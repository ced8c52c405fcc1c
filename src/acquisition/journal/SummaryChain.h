#pragma once

#include "RunProvenance.h"

#include <QString>

// The chain of a runs folder's summaries: each run keeps the name of the run
// before it in start order and a hash of that run's summary.
class SummaryChain {
public:
    // Sets the link of the run whose journal is `rawPath` to the run before it.
    static void linkToPrevious(RunProvenance &provenance, const QString &rawPath);

    // The hash a later run keeps of this summary. The workbook lines are
    // left out: making the workbook again rewrites them, and each file has
    // its own hash.
    static QString chainDigest(const QString &summary);
};
