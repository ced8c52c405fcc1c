#include "OfficeQuit.h"

#include "CaughtException.h"
#include "LogCategories.h"
#include "SpreadsheetApp.h"

void OfficeQuit::quit(std::shared_ptr<SpreadsheetApp> &app)
{
    if (app) {
        try {
            app->quit();
        } catch (...) {
            qCWarning(lcWorkbook).noquote() << "Quitting the spreadsheet failed:" << CaughtException::reason();
        }
    }
    app.reset();
}
