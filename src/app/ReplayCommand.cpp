#include "ReplayCommand.h"

#include "CalcSpreadsheetFactory.h"
#include "CaughtException.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "MasterWorkbook.h"
#include "RunReplay.h"
#include "RunTexts.h"
#include "UserMacro.h"
#include "WorkbookSaver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
int fail(const QString &message)
{
    QTextStream(stderr) << "halvern: " << message << "\n";
    return 1;
}
} // namespace

int replayCommand(const QString &rawPath, const QString &saveAs, const QString &macro, const QString &programFolder)
{
    if (saveAs.isEmpty())
        return fail(QStringLiteral("--replay needs --save-as FILE"));
    const QString suffix = QFileInfo(saveAs).suffix().toLower();
    if (suffix != QLatin1String("xls") && suffix != QLatin1String("xlsx") && suffix != QLatin1String("ods"))
        return fail(QStringLiteral("--save-as takes a file ending in .xls, .xlsx or .ods: ") + saveAs);
    const QString target = QFileInfo(saveAs).absoluteFilePath();

    JournalReader reader;
    QString error;
    if (!reader.open(rawPath, &error))
        return fail(error);
    if (!reader.hasTimes())
        QTextStream(stderr) << "halvern: no " << JournalReader::timesPathFor(rawPath)
                            << ": block time stamps come from this replay's clock\n";

    QTemporaryDir folder;
    const QString copy = folder.filePath(MasterWorkbook::fileName());
    if (!folder.isValid() || !MasterWorkbook::copyTo(programFolder, copy))
        return fail(QStringLiteral("cannot copy the master workbook from ") + programFolder);

    CalcSpreadsheetFactory factory;
    std::shared_ptr<SpreadsheetApp> app;
    int status = 0;
    try {
        app = factory.createHeadless();
        // As at Start: the start-up folder's workbooks first, so that the
        // copy is the active workbook when the macro runs.
        if (!macro.isEmpty()) {
            const QString problem = UserMacro::openStartupWorkbooks(*app);
            if (!problem.isEmpty())
                QTextStream(stderr) << "halvern: " << problem << "\n";
        }
        const std::shared_ptr<Workbook> book = app->open(copy);
        RunReplay replay(*app);
        const bool replayed = replay.replay(reader, &error);
        if (!reader.damage().isEmpty())
            QTextStream(stderr) << "halvern: " << reader.damage() << "\n";
        if (!replayed) {
            status = fail(error);
        } else {
            if (!macro.isEmpty()) {
                const UserMacro::Result result = UserMacro::run(*app, macro);
                if (!result) {
                    qCWarning(lcWorkbook).noquote() << "User macro" << macro << "did not run:" << result.reason;
                    QTextStream(stderr) << "halvern: " << RunTexts::kMacroFailed << ' ' << macro << ": "
                                        << result.reason << "\n";
                }
            }
            int told = 0;
            app->setLongCallNotice([&target, &told](int seconds) {
                // A save that takes long is shown to be going on, every ten seconds.
                if (seconds / 10 > told) {
                    told = seconds / 10;
                    QTextStream(stderr) << "halvern: saving " << target << " for " << seconds << " s\n";
                }
            });
            try {
                book->saveAs(target);
            } catch (const SpreadsheetError &e) {
                throw SpreadsheetError(e.kind(), QStringLiteral("cannot save ") + target + QStringLiteral(": ")
                                                     + QString::fromStdString(e.what()));
            }
            QTextStream(stdout) << "Rebuilt " << replay.rows() << " rows from " << rawPath << " into " << target
                                << (reader.damagedLines() > 0 ? QStringLiteral(" (its .times was damaged)") : QString())
                                << "\n";
            QString shortfall;
            const QString whole = WorkbookSaver::wholeCopyPath(target, *book, &shortfall);
            if (!whole.isEmpty()) {
                book->saveAs(whole);
                QTextStream(stderr) << "halvern: " << shortfall << "; the whole workbook is also saved as " << whole
                                    << "\n";
            }
        }
    } catch (const std::exception &e) {
        status = fail(QString::fromStdString(e.what()));
    }
    if (app) {
        try {
            app->quit();
        } catch (...) {
            qCWarning(lcApp).noquote() << "Quitting the spreadsheet failed:" << CaughtException::reason();
        }
    }
    return status;
}
