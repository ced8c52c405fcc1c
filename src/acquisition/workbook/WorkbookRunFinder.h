#pragma once

#include <QString>

// The run a workbook file came from, as the summaries of a runs folder list
// their saved files.
class WorkbookRunFinder {
public:
    // The run whose summary lists the file by hash (*same set) or by path.
    static QString findRun(const QString &runsFolder, const QString &path, const QString &sha256, bool *same);
};
