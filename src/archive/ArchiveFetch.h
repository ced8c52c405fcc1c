#pragma once

#include "ArchiveStore.h"

// `halvern --fetch-run NAME --to FOLDER`: a run's journal (".raw" and
// ".times"), its manifest, its record as ".summary.txt" and the workbook it started from
// ("<name>.start.xls"), written into FOLDER as the archive received them, so
// that `--replay` rebuilds it there. NAME is the run's base name, or
// "HOST/NAME" when runs of several computers share it.
class ArchiveFetch {
public:
    explicit ArchiveFetch(ArchiveStore &store) : m_store(store) {}

    // The raw file written.
    Result<QString> fetch(const QString &name, const QString &folder);

private:
    ArchiveStore &m_store;
};
