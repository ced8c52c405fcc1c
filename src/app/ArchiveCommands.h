#pragma once

#include "RunCheck.h"

#include <QString>

class SpreadsheetFactory;

// The archive's part of the command line: `--archive-schema`,
// `--fetch-run NAME --to FOLDER`, and the archive as the witness of
// `--verify` and `--verify-runs`. Without an archive set up (no service
// "halvern" and no connection entered) the checks add nothing; an archive
// that does not answer is told in one line and changes no verdict.
class ArchiveCommands {
public:
    static int printSchema();
    static int fetchRun(const QString &name, const QString &folder);

    static void checkRun(const QString &rawPath, RunCheck::Result &result);
    static void checkFolder(const QString &folder, RunCheck::Result &result);
    // A workbook against the workbooks the archive received for its run;
    // when it is none of them, its cells against the newest one.
    static void checkWorkbook(SpreadsheetFactory &factory, const QString &path, const QString &runsFolder,
                              RunCheck::Result &result);
};
