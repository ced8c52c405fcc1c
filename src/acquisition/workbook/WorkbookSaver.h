#pragma once

#include "Failure.h"
#include "Workbook.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class MessageBoxes;
class SpreadsheetApp;

// Saves the filled working copy at Stop under a name the user picks. A plain
// name lands in the documents folder. A save the system or the office
// refuses is told, with the reason and the path, and the name is asked for
// again. An .xls file keeps only 65,536 rows and 256 columns: a workbook
// reaching further is also saved whole as .xlsx beside it, and the user is
// told.
class WorkbookSaver {
public:
    enum class Result {
        NothingToSave, // nothing written since the workbook was opened
        LeftAlone,     // saved by the user under a name of their own during the run
        Saved,
        Declined,     // the user chose not to save
        OfficeFailed, // the office has gone or does not answer
    };
    static constexpr std::int32_t kXlsRows = 65536;
    static constexpr std::int32_t kXlsColumns = 256;

    WorkbookSaver(SpreadsheetApp &app, Workbook &book, MessageBoxes &boxes, QString documentsFolder);
    // The file name under which the book is the working copy to be renamed
    // ("spreadsheet.xls" unless set: a rebuild's own copy has another).
    void setWorkingName(const QString &name) { m_workingName = name; }

    // The custom document properties set before every save (the run's
    // identity); none unless set.
    void setProperties(Workbook::Properties properties) { m_properties = std::move(properties); }

    // Told of the book once it is saved under the user's name, before any
    // .xlsx beside it: what it holds then is what was saved.
    void setAfterSave(std::function<void(Workbook &)> afterSave) { m_afterSave = std::move(afterSave); }

    Result save();
    // Saves the book as `path` without asking: the properties, then the
    // whole workbook as the .xlsx beside an .xls too small for it, which is
    // told to `tell`. A whole copy that cannot be written fails the save.
    std::optional<Failure> saveTo(const QString &path, const std::function<void(const QString &)> &tell);
    // Where the workbook went (the .xlsx beside it when one was written too).
    QString savedAs() const { return m_savedAs; }
    QString alsoSavedAs() const { return m_alsoSavedAs; }

    // What an .xls file leaves out of a workbook this large ("This workbook
    // reaches row 70000; an .xls file keeps only ..."); empty when it fits.
    static QString xlsShortfall(Workbook::UsedArea area);
    // For `book` just saved as `path`: when that is an .xls file too small
    // for it, the .xlsx beside it for the whole workbook and what the .xls
    // leaves out; nothing when nothing is left out.
    struct WholeCopy {
        QString path;
        QString shortfall;
    };
    static std::optional<WholeCopy> wholeCopyOf(const QString &path, Workbook &book);

private:
    std::optional<Failure> saveAs(const QString &path);
    // Once the book is saved as m_savedAs: the whole workbook as the .xlsx
    // beside an .xls too small for it, and whether that save failed; nothing
    // when the .xls holds it all.
    struct WholeSave {
        WholeCopy copy;
        std::optional<Failure> failure;
    };
    std::optional<WholeSave> saveWhole();

    SpreadsheetApp &m_app;
    Workbook &m_book;
    MessageBoxes &m_boxes;
    QString m_documents;
    QString m_workingName;
    QString m_savedAs;
    QString m_alsoSavedAs;
    Workbook::Properties m_properties;
    std::function<void(Workbook &)> m_afterSave;
};
