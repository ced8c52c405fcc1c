// Halvern: instrument text from a serial port into a live spreadsheet.
#include "AppSettings.h"
#include "ArchiveSettings.h"
#include "ArchiveStatus.h"
#include "ArchiveThread.h"
#include "CalcSpreadsheetFactory.h"
#include "CommandLine.h"
#include "DocumentsFolder.h"
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "FolderLookup.h"
#include "LogCategories.h"
#include "LogFile.h"
#include "ManifestStamper.h"
#include "MSComm.h"
#include "PortListing.h"
#include "PortMap.h"
#include "PrivateFolder.h"
#include "QtMessageBoxes.h"
#include "RunManifestWriter.h"
#include "SingleInstance.h"
#include "StartingWorkbooks.h"
#include "Startup.h"
#include "TimestampSettings.h"
#include "WorkbookRebuild.h"
#include "frmLabArchive.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QSysInfo>
#include <QTimer>

namespace {
// The save dialog behind the spreadsheet's GetSaveAsFilename: the chosen full
// path, or nothing when the user cancels. It saves nothing itself. It opens
// in the documents folder, where the working copy is, so a plain name lands
// there and not in the program's folder.
std::optional<QString> askSaveAsName(const QString &title, const QString &filter)
{
    QFileDialog dialog(QApplication::activeWindow(), title, SpecialFolder::documents(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("xls");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
} // namespace

int main(int argc, char *argv[])
{
    // The command-line commands log as the window does.
    if (const std::optional<Failure> failure = LogFile::install())
        qCWarning(lcApp).noquote() << "The log file cannot be written:" << failure->reason;
    if (const std::optional<int> exitCode = CommandLine::run(argc, argv))
        return *exitCode;

    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvern");
    QApplication::setOrganizationName("Halvern");

    // Everything the windows share is made here and handed down; each piece
    // has one owner and lives until the program ends.
    QtMessageBoxes boxes;
    MSComm comm{PortMap::withSystemAdapters(AppSettings::folder())};
    CalcSpreadsheetFactory spreadsheets(askSaveAsName);
    EmulatedInstruments instruments;
    EmulatorMailbox emulatorMailbox;
    SingleInstance instance;
    // Each entry written to a run's manifest is stamped by the outside
    // authority of the settings, when one is set, in the background.
    ManifestStamper stamper(TimestampSettings::load());
    RunManifestWriter::setWitness(&stamper);
    ArchiveStatus archiveStatus; // written by the archive's thread, read by the Runs window

    auto window =
        startUp(frmMain::Services{comm, boxes, spreadsheets, instruments, emulatorMailbox,
                                  QCoreApplication::applicationDirPath(),
                                  [&comm] { return PortListing::entries(comm.portMap(), false); }, &archiveStatus},
                instance);
    if (!window)
        return 1; // a second copy, or the program folder is unusable
    // What a run or a rebuild that crashed left behind: its office, pipe and
    // profile, the rebuild's copy and lock beside the user's files; then,
    // once the window shows, the offer of the runs that ended without Stop.
    CalcSpreadsheetFactory::clearLeftovers();
    // Runs kept open to others by an older version are private from now on.
    PrivateFolder::tighten(window->journalFolder(), PrivateFolder::Files::Tighten);
    WorkbookRebuild::removeLeftovers(DocumentsFolder::find());
    QTimer::singleShot(0, window.get(), &frmMain::offerUnfinishedRuns);

    // The lab archive, on a thread of its own: the runs folder is its queue.
    // A run's starting workbook is the one kept beside the runs by its hash.
    ArchiveThread archive({ArchiveSettings::connection(), window->journalFolder(), QSysInfo::machineHostName(), 5000,
                           [](const QString &rawPath) {
                               const Result<QString> kept = StartingWorkbooks::forRun(rawPath);
                               if (!kept) {
                                   qCWarning(lcArchive).noquote() << "The starting workbook of" << rawPath
                                                                  << "is not sent:" << kept.failure().reason;
                                   return QString();
                               }
                               return kept.value();
                           }},
                          archiveStatus);
    archive.start();
    QObject::connect(window->mnuTools->addAction(QStringLiteral("Lab &archive...")), &QAction::triggered, window.get(),
                     [&archive, &archiveStatus, w = window.get()] {
                         frmLabArchive dialog(
                             ArchiveSettings::connection(), archiveStatus.serverProblem(),
                             [&archive](const QString &conninfo) { archive.setConnection(conninfo); }, w);
                         dialog.exec();
                     });
    const int exitCode = app.exec();
    RunManifestWriter::setWitness(nullptr);
    return exitCode;
}
