// Halvern: instrument text from a serial port into a live spreadsheet.
#include "AppSettings.h"
#include "CalcSpreadsheetFactory.h"
#include "CommandLine.h"
#include "Globals.h"
#include "MSComm.h"
#include "Main.h"
#include "PortListing.h"
#include "PortMap.h"
#include "QtMessageBoxes.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QFileDialog>

namespace {
// The save dialog behind the spreadsheet's GetSaveAsFilename: the chosen full
// path, or "False" when the user cancels. It saves nothing itself.
QString askSaveAsName(const QString &title, const QString &filter)
{
    QFileDialog dialog(QApplication::activeWindow(), title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("xls");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QStringLiteral("False");
    return dialog.selectedFiles().constFirst();
}
} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> exitCode = CommandLine::run(argc, argv))
        return *exitCode;

    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvern");
    QApplication::setOrganizationName("Halvern");

    Globals globals;
    QtMessageBoxes boxes;
    MSComm comm{PortMap::withSystemAdapters(AppSettings::folder())};
    CalcSpreadsheetFactory spreadsheets(askSaveAsName);
    SingleInstance instance;

    auto window = Main(frmMain::Services{globals, comm, boxes, spreadsheets,
                                         QCoreApplication::applicationDirPath(),
                                         [&comm] { return PortListing::entries(comm.portMap(), false); }},
                       instance);
    if (!window)
        return 0;
    return app.exec();
}
