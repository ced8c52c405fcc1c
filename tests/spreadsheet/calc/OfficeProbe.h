#pragma once

#include <QString>
#include <memory>

// A second, independent UNO connection to an office under test, to look at
// what the component did (cell contents, read-only state) and to prepare
// documents (Basic modules, the active sheet) the way a user would.
class OfficeProbe {
public:
    explicit OfficeProbe(const QString &pipeName); // throws std::runtime_error
    ~OfficeProbe();

    struct Cell {
        QString type; // "EMPTY", "VALUE", "TEXT" or "FORMULA"
        double value = 0;
        QString text;    // the cell's displayed text
        QString formula; // the formula, or the content as typed
    };
    // Cell of the given sheet (0-based index) of the open document whose
    // file name is book; row and column count from 1.
    Cell cell(const QString &book, int sheet, int row, int column);
    bool readOnly(const QString &book);
    void setActiveSheet(const QString &book, int sheet);
    void closeAll();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
