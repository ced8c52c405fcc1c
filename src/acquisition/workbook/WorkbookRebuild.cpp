#include "WorkbookRebuild.h"

#include "Leftovers.h"
#include "PlainFile.h"

#include "CaughtException.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "MasterWorkbook.h"
#include "OfficeQuit.h"
#include "RunReplay.h"
#include "RunTexts.h"
#include "SpreadsheetFactory.h"
#include "StartingWorkbooks.h"
#include "UserMacro.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

QString lockPathOf(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + '/' + Leftovers::lockNameOf(info.fileName());
}

void removeCopy(const QString &path)
{
    for (const QString &file : {path, lockPathOf(path)})
        if (QFileInfo::exists(file) && !QFile::remove(file))
            qCWarning(lcWorkbook) << "cannot remove the rebuild's copy" << file;
}

} // namespace

WorkbookRebuild::WorkbookRebuild(SpreadsheetFactory &factory, QString programFolder, QString documentsFolder,
                                 QString copyFolder, Steps steps)
    : m_factory(factory),
      m_programFolder(std::move(programFolder)),
      m_documentsFolder(std::move(documentsFolder)),
      m_copyFolder(std::move(copyFolder)),
      m_steps(std::move(steps))
{
}

QString WorkbookRebuild::copyName() { return Leftovers::rebuildCopyName(); }

void WorkbookRebuild::removeLeftovers(const QString &folder)
{
    Leftovers::removeIn(folder);
    Leftovers::removeDeadPipes();
}

std::optional<Failure> WorkbookRebuild::placeCopy(const QString &copy) const
{
    // The run's own starting workbook, else (a run recorded without one) the
    // one a live Start would open, left as it is.
    const QString working = m_documentsFolder + '/' + MasterWorkbook::fileName();
    const QString source = !m_startingWorkbook.isEmpty() ? m_startingWorkbook
                           : !m_documentsFolder.isEmpty() && QFileInfo::exists(working)
                               ? working
                               : m_programFolder + '/' + MasterWorkbook::fileName();
    removeCopy(copy);
    // Both through PlainFile: a FIFO in the working copy's place is named,
    // not waited on.
    const Result<QByteArray> bytes = PlainFile::readAll(source);
    if (!bytes) {
        qCWarning(lcWorkbook).noquote() << "cannot copy the workbook:" << bytes.failure().reason;
        return Failure{RunTexts::kNoCopy};
    }
    // Written here rather than with QFile::copy, so a full disk is named as such.
    const Result<std::unique_ptr<QFile>> out = PlainFile::open(copy, PlainFile::Mode::Replace);
    bool written = out && (*out)->write(*bytes) == bytes->size() && (*out)->flush();
    const QString reason = !out ? out.failure().reason : (*out)->errorString();
    if (out)
        (*out)->close();
    if (!written) {
        if (QFileInfo::exists(copy) && !QFile::remove(copy))
            qCWarning(lcWorkbook) << "cannot remove the half-made copy" << copy;
        qCWarning(lcWorkbook) << "cannot copy" << source << "to" << copy << ":" << reason;
        return Failure{QStringLiteral("cannot copy the workbook to %1: %2").arg(copy, reason)};
    }
    if (!QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ReadOwner | QFile::WriteOwner))
        qCWarning(lcWorkbook) << "cannot make the copy" << copy << "readable and writable for its owner";
    return std::nullopt;
}

void WorkbookRebuild::make(const QString &rawPath, Done done)
{
    m_rebuilt.clear();
    m_macro = {};
    m_rows = 0;
    m_damage.clear();
    if (m_copyFolder.isEmpty()) {
        done(Failure{RunTexts::kNoDocumentsFolder});
        return;
    }
    // What a killed rebuild or save into the same folder left there goes first.
    removeLeftovers(m_copyFolder);
    const Result<QString> starting = StartingWorkbooks::forRun(rawPath);
    if (!starting) {
        done(Failure{QStringLiteral("the workbook the run started from is not kept as it was: ")
                     + starting.failure().reason});
        return;
    }
    m_startingWorkbook = *starting;
    m_rawPath = rawPath;
    m_copy = m_copyFolder + '/' + copyName();
    m_withMacro = true;
    m_done = std::move(done);
    attempt();
}

void WorkbookRebuild::attempt()
{
    std::shared_ptr<SpreadsheetApp> app;
    const Result<std::shared_ptr<Workbook>> book = fill(app);
    if (!book) {
        finish(std::move(app), book.failure());
        return;
    }
    if (!m_withMacro || !m_steps.macro) {
        save(std::move(app), *book);
        return;
    }
    m_app = app;
    m_book = *book;
    m_steps.macro(*app, [this](const MacroCall::Result &result) { macroEnded(result); });
}

void WorkbookRebuild::macroEnded(const MacroCall::Result &result)
{
    m_macro = result;
    std::shared_ptr<SpreadsheetApp> app = std::move(m_app);
    std::shared_ptr<Workbook> book = std::move(m_book);
    if (result.outcome != MacroCall::Outcome::Cancelled) {
        save(std::move(app), std::move(book));
        return;
    }
    // The macro's office ends with whatever it had done: once more in a
    // fresh one, without the macro.
    book.reset();
    OfficeQuit::quit(app);
    if (m_steps.progress)
        m_steps.progress(0, 0);
    m_withMacro = false;
    attempt();
}

void WorkbookRebuild::save(std::shared_ptr<SpreadsheetApp> app, std::shared_ptr<Workbook> book)
{
    std::optional<Failure> failure;
    if (m_steps.save)
        failure = m_steps.save(*app, *book, copyName());
    book.reset();
    finish(std::move(app), std::move(failure));
}

void WorkbookRebuild::finish(std::shared_ptr<SpreadsheetApp> app, std::optional<Failure> failure)
{
    OfficeQuit::quit(app);
    if (m_steps.progress)
        m_steps.progress(0, 0);
    removeCopy(m_copy);
    // The last thing done here: the continuation may start the next rebuild.
    const Done done = std::move(m_done);
    done(failure);
}

Result<std::shared_ptr<Workbook>> WorkbookRebuild::fill(std::shared_ptr<SpreadsheetApp> &app)
{
    if (std::optional<Failure> unplaced = placeCopy(m_copy))
        return *unplaced;
    JournalReader reader;
    if (std::optional<Failure> unread = reader.open(m_rawPath))
        return *unread;
    std::shared_ptr<Workbook> book;
    try {
        app = m_factory.createHeadless();
        if (!app)
            return Failure{RunTexts::kNoSpreadsheet};
        // As at Start: the start-up folder's workbooks first, so the copy is
        // the active workbook when the macro runs.
        if (const std::optional<Failure> failure = UserMacro::openStartupWorkbooks(*app))
            qCWarning(lcWorkbook).noquote() << failure->reason;
        book = app->openToFill(m_copy);
    } catch (const std::exception &e) {
        return Failure{QString::fromStdString(e.what())};
    }
    RunReplay replay(*app, m_steps.progress);
    if (std::optional<Failure> failure = replay.replay(reader))
        return *failure;
    if (m_steps.progress)
        m_steps.progress(0, 0);
    m_rows = replay.rows();
    m_damage = reader.damage();
    m_rebuilt = QStringLiteral("Workbook rebuilt from the journal: %1 rows used, %2 cells written\n")
                    .arg(replay.rows())
                    .arg(replay.counts().cellsWritten);
    if (!m_damage.isEmpty())
        m_rebuilt += QStringLiteral("Journal times damaged: ") + m_damage + '\n';
    return book;
}
