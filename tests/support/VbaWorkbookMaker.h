#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <memory>

class SpreadsheetApp;

// Makes workbooks holding macros with a headless office of its own, the way
// a lab brings them from Excel: a VBA project in an .xls or .xlsm file (the
// office writes the project as Excel does), or Basic modules in an .ods.
// Header and library apart from the rest of the support: it needs the office
// component (link halvern_test_vba).
class VbaWorkbookMaker {
public:
    using Modules = QList<QPair<QString, QString>>; // module name, code

    VbaWorkbookMaker(); // throws std::runtime_error when no office starts
    ~VbaWorkbookMaker();

    // Writes `path` (.xls, .xlsm or .ods, by its suffix). With vba, the
    // modules form the VBA project `project`, each starting with "Option
    // VBASupport 1"; without, they are Basic modules of the library
    // "Standard". The first sheet's A1 holds `firstCell` when given.
    void make(const QString &path, const Modules &modules, bool vba = true,
              const QString &project = QStringLiteral("VBAProject"), const QString &firstCell = QString());

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    std::shared_ptr<SpreadsheetApp> m_app;
};
