#pragma once

#include <QString>
#include <cstdint>

// One open workbook. Every call may throw SpreadsheetError.
class Workbook {
public:
    // How far content reaches: the last row and the last column holding
    // anything, each the largest over all sheets; 0 when all are empty.
    struct UsedArea {
        std::int32_t rows = 0;
        std::int32_t columns = 0;
    };

    virtual ~Workbook() = default;
    virtual QString name() = 0;  // file name without folder
    virtual void activate() = 0; // make it the active workbook
    virtual bool saved() = 0;    // true when nothing is unsaved
    virtual void saveAs(const QString &path) = 0;
    virtual UsedArea usedArea() = 0;
};
