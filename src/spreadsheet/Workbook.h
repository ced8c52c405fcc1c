#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <utility>
#include <variant>

// A cell value: text, or a number. Text that is a plain decimal number is
// stored as a number by the application; nothing is ever evaluated as a formula.
using CellValue = std::variant<QString, double>;

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

    // The workbook's custom document properties (text), kept by .xls, .xlsx
    // and .ods alike; setting one replaces a property of that name. Neither
    // touches a cell, a sheet or a name.
    using Properties = QList<std::pair<QString, QString>>;
    virtual void setCustomProperties(const Properties &properties) = 0;
    virtual Properties customProperties() = 0;

    // Every sheet's values from its first cell to the end of its used area,
    // row by row; an empty cell is empty text.
    struct SheetValues {
        QString name;
        QList<QList<CellValue>> rows;
    };
    virtual QList<SheetValues> values() = 0;
};
