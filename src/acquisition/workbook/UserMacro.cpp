#include "UserMacro.h"

#include "CaughtException.h"
#include "LogCategories.h"
#include "SpreadsheetApp.h"

#include <QDir>
#include <QFileInfo>

std::optional<Failure> UserMacro::openStartupWorkbooks(SpreadsheetApp &app)
{
    QString folder;
    try {
        folder = app.startupPath();
    } catch (const std::exception &e) {
        return Failure{QStringLiteral("The start-up folder is not known: %1").arg(QString::fromStdString(e.what()))};
    }
    if (folder.isEmpty())
        return std::nullopt;
    // Hidden files (the office's lock files) are left out, and so are the
    // owner files Excel leaves beside an open workbook ("~$Personal.xls").
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    QStringList problems;
    for (const QFileInfo &file : files) {
        if (file.fileName().startsWith(QLatin1String("~$")))
            continue;
        try {
            app.openHidden(file.absoluteFilePath());
        } catch (const std::exception &e) {
            problems << QStringLiteral("%1 (%2)").arg(file.fileName(), QString::fromStdString(e.what()));
        }
    }
    if (problems.isEmpty())
        return std::nullopt;
    return Failure{QStringLiteral("Not opened from %1: %2").arg(folder, problems.join(QStringLiteral(", ")))};
}

UserMacro::Result UserMacro::run(SpreadsheetApp &app, const QString &name, const std::function<void()> &waiting)
{
    auto runOne = [&app, &waiting](const QString &macro, bool *missing) -> Result {
        try {
            app.run(macro, waiting);
            return {true, QString()};
        } catch (const SpreadsheetError &e) {
            *missing = e.kind() == SpreadsheetError::Kind::Missing;
            return {false, QString::fromStdString(e.what())};
        } catch (const std::exception &e) {
            return {false, QString::fromStdString(e.what())};
        }
    };
    bool missing = false;
    if (name.indexOf('!') >= 1)
        return runOne(name, &missing);
    QList<std::shared_ptr<Workbook>> books;
    try {
        books = app.workbooks();
    } catch (const std::exception &e) {
        return {false, QString::fromStdString(e.what())};
    }
    for (const std::shared_ptr<Workbook> &book : books) {
        QString bookName;
        try {
            bookName = book->name();
        } catch (...) {
            qCInfo(lcWorkbook).noquote() << "A workbook closed while its macros were looked for:"
                                         << CaughtException::reason();
            continue; // closed meanwhile
        }
        const Result result = runOne(bookName + '!' + name, &missing);
        if (result.ran || !missing)
            return result;
    }
    return {false, QStringLiteral("no open workbook holds the macro %1").arg(name)};
}
