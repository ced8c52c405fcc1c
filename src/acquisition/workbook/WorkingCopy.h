#pragma once

#include <QString>
#include <functional>
#include <memory>

class SpreadsheetApp;
class SpreadsheetFactory;
class Workbook;

// The run's workbook at Start: the working copy of the master in the user's
// documents folder (copied from the master only when there is none yet),
// opened in a new spreadsheet application after the start-up folder's
// workbooks, so that it is the active workbook. With a runs folder set, the
// working copy is kept first as the run's starting workbook (see
// StartingWorkbooks), so that the run can be made again from exactly it.
class WorkingCopy {
public:
    WorkingCopy(SpreadsheetFactory &factory, QString programFolder);

    // Replaces the documents-folder lookup, e.g. to let a test see a missing folder.
    void setDocumentsLookup(std::function<bool(QString &)> lookup) { m_lookUpDocuments = std::move(lookup); }
    // Where the starting workbooks are kept; empty: not kept.
    void setRunsFolder(QString runsFolder) { m_runsFolder = std::move(runsFolder); }
    // The documents folder, where the working copy lives; empty when unknown.
    QString documentsFolder() const;

    struct Opened {
        std::shared_ptr<SpreadsheetApp> app;
        std::shared_ptr<Workbook> book;
        QString failure;            // the status text when it could not be opened; nothing is held then
        bool startupFailed = false; // a workbook of the start-up folder (the personal macros) did not open
        QString startingSha256;     // the kept starting workbook; empty when it could not be kept (logged)
    };
    Opened open();

private:
    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    std::function<bool(QString &)> m_lookUpDocuments;
    QString m_runsFolder;
};
