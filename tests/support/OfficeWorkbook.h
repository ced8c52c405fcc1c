#pragma once

#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A headless office with a copy of the built master workbook
// ($HALVERN_BIN_DIR/spreadsheet.xls) open in it, for tests that write into a
// real sheet. Header only: tests using it link halvern_calc.
class OfficeWorkbook {
public:
    // Throws SpreadsheetError when the office cannot start or open the copy;
    // ready() is false when the master is missing.
    OfficeWorkbook()
    {
        const QString master = qEnvironmentVariable("HALVERN_BIN_DIR") + QStringLiteral("/spreadsheet.xls");
        path = folder.filePath(QStringLiteral("spreadsheet.xls"));
        if (!QFile::copy(master, path))
            return;
        app = factory.create();
        calc = std::dynamic_pointer_cast<CalcSpreadsheetApp>(app);
        book = app->open(path);
    }
    ~OfficeWorkbook()
    {
        if (app) {
            try {
                app->quit();
            } catch (...) {
            }
        }
    }
    bool ready() const { return calc && book; }

    QTemporaryDir folder;
    QString path;
    CalcSpreadsheetFactory factory;
    std::shared_ptr<SpreadsheetApp> app;
    std::shared_ptr<CalcSpreadsheetApp> calc;
    std::shared_ptr<Workbook> book;
};
