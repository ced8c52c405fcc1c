#pragma once

#include "ArchiveStore.h"
#include "RunCheck.h"

// The archive as the witness: a kept run's journal, summary and workbooks
// against what the archive received of it and when. Names what differs, and
// says when the archive has no record of a run. Reads files and the archive,
// never an office.
class ArchiveCheck {
public:
    explicit ArchiveCheck(ArchiveStore &store) : m_store(store) {}

    // The run of `rawPath`: its journal's bytes and times piece by piece,
    // its summary against the record (the lines a rebuild rewrites apart),
    // and each workbook file its summary names.
    RunCheck::Result run(const QString &rawPath);
    // A workbook file of the run `rawPath` (empty: not known locally):
    // whether the archive received these very bytes for it.
    RunCheck::Result workbook(const QString &workbookPath, const QString &rawPath);
    // Every finished run in `folder`, and every run of this computer the
    // archive has a record of that the folder no longer holds.
    RunCheck::Result folder(const QString &folder);

    // The newest workbook the archive has of a run, to compare cells with.
    struct ArchivedWorkbook {
        QString fileName;
        QByteArray bytes;
    };
    Result<ArchivedWorkbook> newestWorkbook(const QString &rawPath);

private:
    void stream(const QString &name, const QString &path, ArchiveStore::Stream stream, RunCheck::Result &result);

    ArchiveStore &m_store;
};
