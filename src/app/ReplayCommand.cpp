#include "ReplayCommand.h"

#include "CalcSpreadsheetFactory.h"
#include "ConsoleMessageBoxes.h"
#include "DocumentsFolder.h"
#include "FolderProbe.h"
#include "JournalReader.h"
#include "MacroSettings.h"
#include "RunCatalog.h"
#include "RunDocumentProperties.h"
#include "RunFiles.h"
#include "RunTexts.h"
#include "WorkbookRebuild.h"
#include "WorkbookSaver.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextStream>

namespace {
// Every message echoes what it was given (paths, a macro's name) with its
// control characters escaped, as --list-runs shows them: a line break in an
// argument cannot make a line of output of its own.
void tell(const QString &message) { QTextStream(stderr) << "halvern: " << RunCatalog::printable(message) << "\n"; }

int fail(const QString &message)
{
    tell(message);
    return 1;
}

// Why a file cannot be written into `folder` (made when missing); nothing
// when it can.
std::optional<Failure> unwritable(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return Failure{QStringLiteral("cannot make the folder ") + folder};
    if (const std::optional<Failure> probe = FolderProbe::check(folder))
        return Failure{QStringLiteral("cannot write into %1: %2").arg(folder, probe->reason)};
    return std::nullopt;
}

// The save of the rebuilt workbook as `target`, carrying the identity of the
// run whose journal is `rawPath`, with the whole workbook as .xlsx beside an
// .xls too small for it; a long save is shown every ten seconds.
std::optional<Failure> saveInto(SpreadsheetApp &app, Workbook &book, const QString &rawPath, const QString &target)
{
    int told = 0;
    app.setLongCallNotice([&target, &told](int seconds) {
        if (seconds / 10 > told) {
            told = seconds / 10;
            tell(QStringLiteral("saving %1 for %2 s").arg(target).arg(seconds));
        }
    });
    try {
        ConsoleMessageBoxes boxes(QStringLiteral("halvern"));
        WorkbookSaver saver(app, book, boxes, QFileInfo(target).absolutePath());
        saver.setProperties(RunDocumentProperties::ofReplay(rawPath, QDateTime::currentDateTimeUtc()));
        if (std::optional<Failure> failure = saver.saveTo(target, tell))
            return Failure{QStringLiteral("cannot save ") + target + QStringLiteral(": ") + failure->reason};
    } catch (const std::exception &e) {
        return Failure{QStringLiteral("cannot save ") + target + QStringLiteral(": ")
                       + QString::fromStdString(e.what())};
    }
    return std::nullopt;
}
} // namespace

int replayCommand(const QString &rawPath, const QString &saveAs, const QString &macro, const QString &programFolder)
{
    if (saveAs.isEmpty())
        return fail(QStringLiteral("--replay needs --save-as FILE"));
    const QString suffix = QFileInfo(saveAs).suffix().toLower();
    if (suffix != QLatin1String("xls") && suffix != QLatin1String("xlsx") && suffix != QLatin1String("ods"))
        return fail(QStringLiteral("--save-as takes a file ending in .xls, .xlsx or .ods: ") + saveAs);
    const QFileInfo targetInfo(saveAs);
    const QString target = targetInfo.absoluteFilePath();
    if (targetInfo.isDir())
        return fail(QStringLiteral("--save-as names a folder: ") + target);
    // The copy the macro sees lies beside the workbook: its folder must take files.
    const QString folder = targetInfo.absolutePath();
    if (const std::optional<Failure> why = unwritable(folder))
        return fail(why->reason);
    {
        JournalReader reader;
        if (const std::optional<Failure> unread = reader.open(rawPath))
            return fail(unread->reason);
        if (!reader.hasTimes())
            tell(QStringLiteral("no %1: block time stamps come from this replay's clock")
                     .arg(RunFiles::timesPathFor(rawPath)));
    }

    CalcSpreadsheetFactory factory;
    WorkbookRebuild::Steps steps;
    if (!macro.isEmpty())
        // Waited for here, with no event loop: the rebuild goes on before
        // make() returns.
        steps.macro = [&macro](SpreadsheetApp &app, const MacroCall::Done &done) {
            const MacroCall::Result result = MacroCall::run(app, MacroSettings{true, macro});
            if (result.outcome == MacroCall::Outcome::Failed)
                tell(QStringLiteral("%1 %2: %3").arg(RunTexts::kMacroFailed, macro, result.reason));
            done(result);
        };
    steps.save = [&rawPath, &target](SpreadsheetApp &app, Workbook &book, const QString &) {
        return saveInto(app, book, rawPath, target);
    };
    const QString documents = DocumentsFolder::find();
    WorkbookRebuild rebuild(factory, programFolder, documents, folder, std::move(steps));
    std::optional<Failure> failure = Failure{QStringLiteral("the rebuild did not end")};
    rebuild.make(rawPath, [&failure](const std::optional<Failure> &outcome) { failure = outcome; });
    if (!rebuild.damage().isEmpty())
        tell(rebuild.damage());
    if (failure)
        return fail(failure->reason);
    QTextStream(stdout) << "Rebuilt " << rebuild.rows() << " rows from " << RunCatalog::printable(rawPath) << " into "
                        << RunCatalog::printable(target)
                        << (rebuild.damage().isEmpty() ? QString() : QStringLiteral(" (its .times was damaged)"))
                        << "\n";
    return 0;
}
