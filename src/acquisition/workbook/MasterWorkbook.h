#pragma once

#include <QString>

// The master workbook "spreadsheet.xls" in the program folder, from which
// every run's workbook is copied.
class MasterWorkbook {
public:
    static const QString &fileName(); // "spreadsheet.xls"

    // Copies the master from `programFolder` to `target`, which must not
    // exist yet. The copy is writable by its owner even when the master was
    // installed read-only. False when the copy cannot be made.
    static bool copyTo(const QString &programFolder, const QString &target);
};
