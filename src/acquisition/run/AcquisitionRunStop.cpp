#include "AcquisitionRun.h"

#include "CaughtException.h"
#include "EmulatorFeed.h"
#include "LogCategories.h"
#include "MacroSettings.h"
#include "MessageBoxes.h"
#include "OfficeQuit.h"
#include "PortAdapterText.h"
#include "ProvenanceGatherer.h"
#include "RunTexts.h"
#include "SerialComm.h"
#include "StopMacro.h"

#include <algorithm>

namespace {
using namespace RunTexts;

// How long Stop's last write waits for a busy spreadsheet: a normal call's limit.
constexpr std::chrono::milliseconds kLastWriteWait{1000};
} // namespace

// ---- Stop -------------------------------------------------------------------

void AcquisitionRun::stop(const MacroSettings &macro)
{
    if (m_stopping)
        return; // the Stop under way ends the run
    m_stopping = true;
    m_stopWasUp = m_state != RunState::Stopped;
    m_state = RunState::Stopped;
    m_view->setTimerEnabled(false);
    m_port.stopWatching();
    m_stopSave.clear();
    if (m_stopWasUp)
        takeLastText();
    closeRun(macro);
    // Still stopping: the macro runs on, and finishStop() follows it.
    if (m_stopping) {
        m_viewBusy = true;
        m_view->setBusy(true);
    }
}

void AcquisitionRun::finishStop()
{
    m_feeder.clearPending();
    if (m_stopWasUp)
        closeJournal();
    m_bytesReceived = 0;
    m_view->setUtilitiesMenuVisible(true);
    m_stopping = false;
    if (m_viewBusy) {
        m_viewBusy = false;
        m_view->setBusy(false);
    }
}

void AcquisitionRun::closeJournal()
{
    RunSummary summary = m_record.summary();
    summary.device = m_comm.openedDevicePath();
    summary.rowsUsed = m_feeder.rowsUsed();
    summary.sheets = m_feeder.sheets();
    summary.counts = m_feeder.counts();
    summary.rebuilt = m_stopSave.rebuilt();
    summary.macro = m_macroOutcome;
    summary.brokenLinesDropped = m_feeder.brokenLinesDropped();
    summary.linesMissing = linesMissing();
    summary.savedAs = m_stopSave.savedAs();
    summary.alsoSavedAs = m_stopSave.alsoSavedAs();
    const RunJournal &journal = m_record.journal();
    summary.provenance = ProvenanceGatherer::gather(summary.rawPath, journal.rawSha256(), journal.timesSha256());
    summary.provenance.officeVersion = m_stopSave.officeVersion();
    summary.provenance.adapter = PortAdapterText::of(summary.device);
    ProvenanceGatherer::addSaved(summary.provenance, summary.savedAs);
    ProvenanceGatherer::addSaved(summary.provenance, summary.alsoSavedAs);
    m_record.close(summary);
}

void AcquisitionRun::closeRun(const MacroSettings &macro)
{
    try {
        m_comm.setPortOpen(false);
    } catch (...) {
        qCInfo(lcSerial).noquote() << "The port did not close (already closed or gone):" << CaughtException::reason();
    }
    m_port.forget();

    AcquisitionView &view = *m_view;
    view.setComPortLamp(Lamp::Frame);
    view.setSpreadsheetLamp(Lamp::Frame);
    view.setStatusText(QString());
    view.showRunButtons(false);

    // From here on a failing call is skipped and the stop goes on. The macro
    // runs before the save, so what it changes is saved with the data.
    if (m_app)
        writeLastLines();
    if (const QString incomplete = m_record.incompleteAtStop(); !incomplete.isEmpty())
        m_boxes.show(incomplete, QStringLiteral("Halvern"));
    if (!m_app) {
        releaseSpreadsheet();
        finishStop();
        return;
    }
    m_macro = macro;
    runUserMacro(*m_app, false, [this](const MacroCall::Result &) { saveAtStop(); });
}

void AcquisitionRun::saveAtStop()
{
    m_stopSave.saveOrRebuild(m_app, m_book, m_record.journal(), linesMissing(), [this](bool rebuilt) {
        m_rebuilt = rebuilt;
        releaseSpreadsheet();
        finishStop();
    });
}

void AcquisitionRun::takeLastText()
{
    if (m_state == RunState::Stopped && !m_port.lost() && !m_emulator.isActive()) {
        try {
            const QByteArray last = m_comm.input();
            countReceived(last.size());
            receive(last);
        } catch (...) {
            qCWarning(lcSerial).noquote() << "The last text was not read:" << CaughtException::reason();
        }
    }
}

void AcquisitionRun::writeLastLines()
{
    // Only an unfinished last line is left out; it stays in the journal.
    takeFromBacklog();
    if (!m_feeder.hasLine() && !m_record.holding())
        return;
    for (;;) {
        // A write that outlived its limit may be just ending (Stop is often
        // clicked while a slow write blocks the window): it gets the time of
        // a normal call before the lines are given up on and counted missing.
        if (const std::optional<Failure> failure = m_feeder.drain(*m_app, kLastWriteWait)) {
            qCWarning(lcRun).noquote() << "The last lines could not be written at Stop:" << failure->reason;
            break;
        }
        if (!m_record.holding())
            break;
        const qsizetype before = m_feeder.pending().size();
        takeFromBacklog(); // what waits from a pause, part by part
        if (m_feeder.pending().size() == before)
            break; // nothing more can be read back
    }
}

std::int64_t AcquisitionRun::linesMissing() const
{
    if (m_rebuilt)
        return 0; // every line is in the workbook made from the journal
    return std::max<std::int64_t>(0, m_record.journal().lines() - m_feeder.linesHandled());
}

void AcquisitionRun::runUserMacro(SpreadsheetApp &app, bool cancellable, MacroCall::Done done)
{
    StopMacro::start(
        app, m_macro, *m_view,
        [this, done = std::move(done)](const MacroCall::Result &result) {
            m_macroOutcome = result.summaryLine;
            done(result);
        },
        cancellable);
}

void AcquisitionRun::quitSpreadsheet() { releaseSpreadsheet(); }

void AcquisitionRun::releaseSpreadsheet()
{
    // Held locally: quit() may let window events run, and a nested Stop must
    // not pull the application out from under the call.
    std::shared_ptr<SpreadsheetApp> app = m_app;
    OfficeQuit::quit(app);
    m_book.reset();
    m_app.reset();
}
