#pragma once

#include <QString>

// One open workbook. Every call may throw SpreadsheetError.
class Workbook {
public:
    virtual ~Workbook() = default;
    virtual QString name() = 0;            // file name without folder
    virtual void activate() = 0;           // make it the active workbook
    virtual bool saved() = 0;              // true when nothing is unsaved
    virtual void saveAs(const QString &path) = 0;
};
