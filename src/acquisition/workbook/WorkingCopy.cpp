#include "WorkingCopy.h"

#include "CaughtException.h"
#include "DocumentsFolder.h"
#include "FolderLookup.h"
#include "FolderName.h"
#include "LogCategories.h"
#include "MasterWorkbook.h"
#include "OfficeQuit.h"
#include "RunTexts.h"
#include "SpreadsheetFactory.h"
#include "StartingWorkbooks.h"
#include "UserMacro.h"

#include <QFileInfo>

WorkingCopy::WorkingCopy(SpreadsheetFactory &factory, QString programFolder)
    : m_factory(factory), m_programFolder(std::move(programFolder))
{
}

QString WorkingCopy::documentsFolder() const { return DocumentsFolder::find(m_lookUpDocuments); }

WorkingCopy::Opened WorkingCopy::open()
{
    Opened opened;
    const QString documents = documentsFolder();
    if (documents.isEmpty()) {
        opened.failure = RunTexts::kNoDocumentsFolder;
        return opened;
    }
    const QString working = documents + '/' + MasterWorkbook::fileName();
    if (!QFileInfo::exists(working) && !MasterWorkbook::copyTo(m_programFolder, working)) {
        opened.failure = RunTexts::kNoCopy;
        return opened;
    }
    if (!m_runsFolder.isEmpty()) {
        // A run that cannot keep it goes on: its record says it has none.
        const Result<QString> kept = StartingWorkbooks(m_runsFolder).keep(working);
        if (kept)
            opened.startingSha256 = *kept;
        else
            qCWarning(lcWorkbook).noquote() << "The starting workbook is not kept:" << kept.failure().reason;
    }
    try {
        opened.app = m_factory.create();
    } catch (...) {
        qCWarning(lcWorkbook).noquote() << "The spreadsheet did not start:" << CaughtException::reason();
        opened.app.reset();
    }
    if (!opened.app) {
        opened.failure = RunTexts::kNoSpreadsheet;
        return opened;
    }
    // The start-up folder's workbooks (the personal macros) first, hidden, as
    // Excel opens XLSTART: the working copy opened after them is the active
    // workbook, for the writes and for the macro at Stop.
    if (const std::optional<Failure> failure = UserMacro::openStartupWorkbooks(*opened.app)) {
        qCWarning(lcWorkbook).noquote() << failure->reason;
        opened.startupFailed = true;
    }
    try {
        opened.book = opened.app->open(working);
        if (!opened.book)
            throw SpreadsheetError(SpreadsheetError::Kind::Failed, working);
        opened.app->setVisible(true);
    } catch (...) {
        qCWarning(lcWorkbook).noquote() << "The working copy" << working
                                        << "did not open:" << CaughtException::reason();
        OfficeQuit::quit(opened.app);
        return Opened{{}, {}, RunTexts::kCannotOpenWorkbook, false, {}};
    }
    return opened;
}
