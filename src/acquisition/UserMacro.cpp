#include "UserMacro.h"

#include "SpreadsheetApp.h"

#include <QFileInfo>

UserMacro::Personal UserMacro::openPersonal(SpreadsheetApp &app, Workbook &book)
{
    QString personal;
    try {
        QString startup = app.startupPath();
        while (startup.size() > 1 && startup.endsWith('/'))
            startup.chop(1);
        if (!startup.isEmpty()) {
            if (QFileInfo::exists(startup + QStringLiteral("/Personal.xls")))
                personal = startup + QStringLiteral("/Personal.xls");
            else if (QFileInfo::exists(startup + QStringLiteral("/Personal.ods")))
                personal = startup + QStringLiteral("/Personal.ods");
        }
    } catch (...) {
        personal.clear();
    }
    if (personal.isEmpty())
        return Personal::None;
    try {
        app.open(personal);
    } catch (...) {
        return Personal::Failed;
    }
    try {
        book.activate(); // the working copy stays the one written into
    } catch (...) {
    }
    return Personal::Opened;
}

bool UserMacro::run(SpreadsheetApp &app, const QString &name)
{
    if (name.indexOf('!') >= 1) {
        try {
            app.run(name);
            return true;
        } catch (...) {
            return false;
        }
    }
    QList<std::shared_ptr<Workbook>> books;
    try {
        books = app.workbooks();
    } catch (...) {
    }
    for (const std::shared_ptr<Workbook> &book : books) {
        try {
            app.run(book->name() + '!' + name);
            return true;
        } catch (...) {
        }
    }
    return false;
}
