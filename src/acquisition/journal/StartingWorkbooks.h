#pragma once

#include "Failure.h"
#include "Result.h"

#include <QString>
#include <optional>

// The workbooks runs started from, each kept once by its content under its
// SHA-256 ("<hash>.<suffix>") in a private folder beside the runs. A rebuild
// and a check start from exactly the run's workbook, so its own cells are
// never taken for data; a run's record names it by that hash.
class StartingWorkbooks {
public:
    // The store in `runsFolder`.
    explicit StartingWorkbooks(const QString &runsFolder);

    QString folder() const { return m_folder; }

    // Keeps the file at `path` (once: a content kept before is not written
    // again) and returns its SHA-256 in lower-case hex.
    Result<QString> keep(const QString &path) const;
    // The kept workbook of that hash, after checking that it still holds that
    // content.
    Result<QString> find(const QString &sha256) const;

    // The kept starting workbook of the run at `rawPath`, as its manifest
    // names it (the store beside the run); an empty path when the run
    // records none (no manifest, or made before workbooks were kept); a
    // failure when it records one that is not kept as it was.
    static Result<QString> forRun(const QString &rawPath);

    static bool isHash(const QString &text);

private:
    QString m_folder;
};
