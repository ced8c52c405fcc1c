#include "AcquisitionRun.h"

#include "CaughtException.h"
#include "EmulatorFeed.h"
#include "JournalTexts.h"
#include "LogCategories.h"
#include "MacroSettings.h"
#include "MessageBoxes.h"
#include "NullAcquisitionView.h"
#include "PortAdapterText.h"
#include "RunTexts.h"
#include "SerialComm.h"
#include "SheetSpace.h"
#include "SpreadsheetFactory.h"
#include "StopMacro.h"
#include "StreamWatch.h"
#include "WorkingCopy.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <limits>

namespace {
using namespace RunTexts;

QString withoutTrailingSlash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder;
}

// How long Stop's last write waits for a busy spreadsheet: a normal call's limit.
constexpr int kLastWriteWaitMs = 1000;
constexpr int kLastWritePauseMs = 50;

// Stands in for the main window once it has gone.
NullAcquisitionView &nullView()
{
    static NullAcquisitionView view;
    return view;
}

} // namespace

AcquisitionRun::AcquisitionRun(AcquisitionView &view, SerialComm &comm, SpreadsheetFactory &factory,
                               MessageBoxes &boxes, EmulatorFeed &emulator, QString programFolder,
                               std::function<QTime()> clock)
    : m_view(&view),
      m_comm(comm),
      m_factory(factory),
      m_boxes(boxes),
      m_emulator(emulator),
      m_programFolder(withoutTrailingSlash(std::move(programFolder))),
      m_parser(std::move(clock)),
      m_port(comm),
      m_workingCopy(factory, m_programFolder),
      m_stopSave(factory, boxes, m_programFolder,
                 {[this] { return m_workingCopy.documentsFolder(); },
                  [this](qint64 done, qint64 total) { m_view->showProgress(done, total); },
                  [this](SpreadsheetApp &app) { return runUserMacro(app, true); },
                  [this](const QString &text, int seconds) { m_view->showWaiting(text, seconds); }})
{
}

AcquisitionRun::~AcquisitionRun() { *m_alive = false; }

void AcquisitionRun::detachView() { m_view = &nullView(); }

void AcquisitionRun::setStreamWatch(StreamWatch *watch)
{
    m_streamWatch = watch;
    m_parser.setObserver(watch);
}

// ---- Start ---------------------------------------------------------------

bool AcquisitionRun::openWorkbookAndPort()
{
    AcquisitionView &view = *m_view;
    view.setSpreadsheetLamp(Lamp::Yellow);
    view.setStatusText(kOpeningSpreadsheet);
    m_blockColumn = 1;
    m_port.forget();

    auto fail = [&view](const QString &text) {
        qCWarning(lcRun).noquote() << "The run did not start:" << text;
        view.setSpreadsheetLamp(Lamp::Red);
        view.setStatusText(text);
        return false;
    };

    const WorkingCopy::Opened opened = m_workingCopy.open();
    if (!opened.failure.isEmpty())
        return fail(opened.failure);
    m_app = opened.app;
    m_book = opened.book;

    view.setSpreadsheetLamp(Lamp::Green);
    view.setStatusText(QString());
    view.setComPortLamp(Lamp::Yellow);
    view.setStatusText(kOpeningPort);
    try {
        m_comm.setPortOpen(true);
    } catch (...) {
        qCWarning(lcSerial).noquote() << "The port did not open:" << CaughtException::reason();
        view.setStatusText(kNoPort);
        view.setComPortLamp(Lamp::Red);
        view.setComPortTip(m_comm.lastOpenFailure().text);
        releaseSpreadsheet();
        return false;
    }
    view.setComPortLamp(Lamp::Green);
    view.setComPortTip(QString());
    view.setStatusText(kReady);

    view.showRunButtons(true);

    if (opened.startupFailed) {
        view.setSpreadsheetLamp(Lamp::Yellow);
        view.setStatusText(kNoPersonalMacros);
    }
    return true;
}

void AcquisitionRun::start()
{
    if (m_state != RunState::Stopped)
        return; // a run is already up; the button is disabled then
    if (!openWorkbookAndPort())
        return;
    m_state = RunState::Running;
    m_row = 1;
    m_rowsInFullSheets = 0;
    m_sheetsAdded = 0;
    m_linesHandled = 0;
    m_brokenLine.reset();
    m_parser.reset();
    m_officeTrouble = false;
    if (m_streamWatch)
        m_streamWatch->runStarted();
    openJournal();
    ++m_generation;
    m_view->setTimerEnabled(true);
    m_view->bringToFront();
    m_view->setUtilitiesMenuVisible(false);
}

// ---- Tick and parser ------------------------------------------------------

void AcquisitionRun::tick()
{
    m_view->setTimerEnabled(false);
    if (m_state == RunState::Stopped || m_inTick)
        return;
    m_inTick = true;
    if (m_state == RunState::Paused) {
        // A pause holds the writing, not the receiving: the port is read all
        // the same, so nothing waits in a buffer that can overflow, and the
        // text goes into the journal until Resume. The emulator's mailbox
        // keeps its latest piece meanwhile.
        if (!m_emulator.isActive())
            receive(takeIncomingText());
    } else {
        receive(takeIncomingText());
        takeFromBacklog();
        if (!m_pending.isEmpty())
            writePendingLines();
    }
    m_record.syncIfDue();
    watchJournal();
    m_inTick = false;

    // A click handled here may stop or pause the run, or close the main
    // window and destroy this object with it: check before going on.
    const std::shared_ptr<bool> alive = m_alive;
    m_view->processEvents();
    if (!*alive)
        return;
    m_view->setTimerEnabled(true);
}

void AcquisitionRun::receive(const QByteArray &text)
{
    const bool toSheet = m_record.keep(text);
    if (m_streamWatch && !text.isEmpty())
        m_streamWatch->textArrived(text);
    if (toSheet)
        m_pending.append(afterBrokenLine(text));
}

void AcquisitionRun::takeFromBacklog()
{
    QString error;
    const QByteArray part = m_record.takeHeld(m_pending.size(), &error);
    if (!error.isEmpty()) {
        qCWarning(lcJournal).noquote() << "The pause's backlog was not read back:" << error;
        m_view->showNotice(JournalTexts::backlogLost(error));
    }
    if (!part.isEmpty())
        m_pending.append(afterBrokenLine(part));
}

void AcquisitionRun::watchJournal(bool retell)
{
    if (const QString notice = m_record.untoldFailure(); !notice.isEmpty()) {
        qCWarning(lcJournal).noquote() << notice;
        m_view->showNotice(notice);
    }
    const QString tip = JournalTexts::lampTip(m_record.journal(), m_officeTrouble);
    if (tip != m_excelTip || retell) {
        m_excelTip = tip;
        m_view->setSpreadsheetLampTip(tip);
    }
}

QByteArray AcquisitionRun::takeIncomingText()
{
    QByteArray text;
    if (!m_emulator.isActive()) {
        if (!m_port.lost()) {
            try {
                text = m_comm.input();
            } catch (...) {
                qCWarning(lcSerial).noquote() << "The port was lost:" << CaughtException::reason();
                portFailed();
            }
        }
    } else {
        text = m_emulator.takeInstrumentText();
    }
    countReceived(text.size());
    return text;
}

void AcquisitionRun::countReceived(qsizetype bytes)
{
    const qint64 total = static_cast<qint64>(m_bytesReceived) + bytes;
    m_bytesReceived = static_cast<std::int32_t>(std::min<qint64>(total, std::numeric_limits<std::int32_t>::max()));
}

// The port failed on reading (the adapter was pulled, the device vanished):
// it is closed and the lamp says so. The run goes on, so text already received
// is still written, and Stop ends it as usual. When the device is back the
// port opens again and the reading goes on.
void AcquisitionRun::portFailed()
{
    m_port.fail();
    if (m_state == RunState::Running) { // a pause keeps its display until Resume
        m_view->setComPortLamp(Lamp::Red);
        m_view->setStatusText(kNoPort);
    }
    // An adapter pulled out and put back during a pause is only noticed at
    // the first read after Resume, when it is back already: the watch would
    // take the device present as the one lost and wait for it to change.
    if (!reopenPort())
        m_port.watch([this] { portReturned(); });
}

void AcquisitionRun::portReturned()
{
    if (m_state == RunState::Stopped || !m_port.lost()) {
        m_port.stopWatching();
        return;
    }
    // A report that comes while a tick is in the parse (a spreadsheet call
    // letting events run) waits for the next look.
    if (!m_inTick && reopenPort())
        m_port.stopWatching();
}

bool AcquisitionRun::reopenPort()
{
    if (const std::optional<Failure> failure = m_port.reopen()) {
        m_view->setComPortTip(failure->reason);
        return false; // tried again at the next look
    }
    if (!m_emulator.isActive()) {
        const qint64 dropped = m_brokenLine.dropped();
        m_brokenLine.drop(m_pending, m_parser);
        if (m_streamWatch && m_brokenLine.dropped() != dropped)
            m_streamWatch->lineBrokenOff();
        m_record.journal().noteGap(); // so that a replay drops it too
    }
    m_view->setComPortTip(QString());
    if (m_state != RunState::Running)
        return true; // a pause keeps its display until Resume
    m_view->setComPortLamp(Lamp::Green);
    m_view->setStatusText(bytesReceivedText(m_bytesReceived, false));
    return true;
}

QByteArray AcquisitionRun::afterBrokenLine(const QByteArray &text)
{
    // The journal counts the CR LF that ends a dropped line; the parser never
    // sees it, so it is counted here, or Stop would find a line missing.
    bool endedLine = false;
    QByteArray parsed = m_brokenLine.received(text, &endedLine);
    if (endedLine)
        ++m_linesHandled;
    return parsed;
}

void AcquisitionRun::writePendingLines()
{
    const std::shared_ptr<bool> alive = m_alive;
    const std::uint64_t generation = m_generation;
    const std::shared_ptr<SpreadsheetApp> app = m_app;
    // The parse works on its own (shared, not copied) reference to the text
    // and on copies of the row and column: a spreadsheet call that lets window
    // events run may see a Stop, which empties the buffer and releases the
    // spreadsheet underneath us.
    if (app && addSheetIfFull(*app) && (!*alive || generation != m_generation))
        return;
    QByteArray text = m_pending;
    std::int32_t row = m_row;
    std::int16_t column = m_blockColumn;
    qsizetype consumed = 0;
    const StreamParser::Outcome outcome =
        m_parser.parse(SheetSpace::fitting(text, row), app.get(), row, column, consumed);
    if (!*alive || generation != m_generation)
        return;

    m_row = row;
    m_blockColumn = column;
    text = QByteArray(); // drop the second reference, so the cut below is done in place
    noteHandled(QByteArrayView(m_pending).first(consumed));
    m_pending.remove(0, consumed);
    if (m_state != RunState::Running)
        return; // paused meanwhile: the pause owns the status display now

    m_officeTrouble = outcome == StreamParser::Outcome::Busy || outcome == StreamParser::Outcome::Gone;
    watchJournal();
    switch (outcome) {
    case StreamParser::Outcome::Ok:
    case StreamParser::Outcome::Dropped:
        // Lines or cells that could not be written (outside the sheet, refused,
        // too long) do not stop the run; the lamp warns, the parser counts them.
        m_view->setSpreadsheetLamp(outcome == StreamParser::Outcome::Ok ? Lamp::Green : Lamp::Yellow);
        m_view->setStatusText(m_port.lost() ? kNoPort : bytesReceivedText(m_bytesReceived, false));
        m_view->setPauseEnabled(true);
        break;
    case StreamParser::Outcome::Busy:
        m_view->setSpreadsheetLamp(Lamp::Yellow);
        m_view->setStatusText(kBlocked);
        m_view->setPauseEnabled(false);
        break;
    case StreamParser::Outcome::Gone:
        m_view->setSpreadsheetLamp(Lamp::Red);
        m_view->setStatusText(kClosed);
        m_view->setPauseEnabled(false);
        break;
    }
}

// ---- Pause and resume -----------------------------------------------------

void AcquisitionRun::pause()
{
    if (m_state != RunState::Running)
        return;
    m_state = RunState::Paused;
    // The tick goes on reading the port (see tick()); what arrives waits in
    // the journal from here on.
    m_record.hold();
    m_view->showPauseButtons(true);
    m_view->setComPortLamp(Lamp::Yellow);
    m_view->setSpreadsheetLamp(Lamp::Yellow);
    m_view->setStatusText(kPaused);
}

void AcquisitionRun::resume()
{
    if (m_state != RunState::Paused)
        return;
    m_view->showPauseButtons(false);
    // A port lost during the run stays red until its device is back.
    m_view->setComPortLamp(m_port.lost() ? Lamp::Red : Lamp::Green);
    m_view->setSpreadsheetLamp(Lamp::Green);
    m_view->setStatusText(m_port.lost() ? kNoPort : bytesReceivedText(m_bytesReceived, true));
    m_state = RunState::Running;
    m_view->setTimerEnabled(true);
}

// ---- Stop -------------------------------------------------------------------

void AcquisitionRun::stop(const MacroSettings &macro)
{
    const bool wasUp = m_state != RunState::Stopped;
    m_state = RunState::Stopped;
    m_view->setTimerEnabled(false);
    m_port.stopWatching();
    ++m_generation;
    m_stopSave.clear();
    if (wasUp)
        takeLastText();
    closeRun(macro);
    m_pending.clear();
    if (wasUp)
        closeJournal();
    m_bytesReceived = 0;
    m_view->setUtilitiesMenuVisible(true);
}

void AcquisitionRun::openJournal()
{
    int comNumber = 0;
    try {
        comNumber = m_comm.commPort();
    } catch (...) {
        qCWarning(lcRun).noquote() << "The journal has no COM number:" << CaughtException::reason();
    }
    m_record.open(comNumber);
    watchJournal(true); // a journal that cannot be written is told on the lamp; the run goes on
}

void AcquisitionRun::closeJournal()
{
    RunSummary summary = m_record.summary();
    summary.device = m_comm.openedDevicePath();
    summary.rowsUsed = m_rowsInFullSheets + m_row - 1;
    summary.sheets = m_sheetsAdded + 1;
    summary.counts = m_parser.counts();
    summary.rebuilt = m_stopSave.rebuilt();
    summary.macro = m_macroOutcome;
    summary.brokenLinesDropped = m_brokenLine.dropped();
    summary.linesMissing = linesMissing();
    summary.savedAs = m_stopSave.savedAs();
    summary.alsoSavedAs = m_stopSave.alsoSavedAs();
    const RunJournal &journal = m_record.journal();
    summary.provenance = RunProvenance::gather(summary.rawPath, journal.rawSha256(), journal.timesSha256());
    summary.provenance.officeVersion = m_stopSave.officeVersion();
    summary.provenance.adapter = PortAdapterText::of(summary.device);
    summary.provenance.addSaved(summary.savedAs);
    summary.provenance.addSaved(summary.alsoSavedAs);
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
    if (m_app) {
        m_macro = macro;
        runUserMacro(*m_app, false);
        if (m_stopSave.saveOrRebuild(m_app, m_book, m_record.journal(), linesMissing()))
            m_linesHandled = m_record.journal().lines(); // all of them are in the rebuilt workbook
    }
    releaseSpreadsheet();
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

bool AcquisitionRun::addSheetIfFull(SpreadsheetApp &app)
{
    if (!SheetSpace::isFull(m_row))
        return false;
    // The run goes on in a new sheet after the full one. If that fails, the
    // lines past the last row are counted as lost.
    try {
        app.addSheet();
        m_rowsInFullSheets += m_row - 1;
        ++m_sheetsAdded;
        m_row = 1;
    } catch (...) {
        qCWarning(lcRun).noquote() << "No sheet added after the full one:" << CaughtException::reason();
    }
    return true;
}

void AcquisitionRun::writeLastLines()
{
    // Only an unfinished last line is left out; it stays in the journal.
    takeFromBacklog();
    if (m_pending.indexOf("\r\n") < 0 && !m_record.holding())
        return;
    // A write that outlived its limit may be just ending (Stop is often
    // clicked while a slow write blocks the window): it gets the time of a
    // normal call before the lines are given up on.
    const QDeadlineTimer wait(kLastWriteWaitMs);
    for (;;) {
        takeFromBacklog(); // what waits from a pause, part by part
        addSheetIfFull(*m_app);
        qsizetype consumed = 0;
        const StreamParser::Outcome outcome =
            m_parser.parse(SheetSpace::fitting(m_pending, m_row), m_app.get(), m_row, m_blockColumn, consumed);
        noteHandled(QByteArrayView(m_pending).first(consumed));
        m_pending.remove(0, consumed);
        if (outcome == StreamParser::Outcome::Busy && !wait.hasExpired() && m_pending.indexOf("\r\n") >= 0) {
            QThread::msleep(kLastWritePauseMs);
            continue;
        }
        // Done, or the office cannot take more: what is left is missing.
        if (outcome == StreamParser::Outcome::Busy || outcome == StreamParser::Outcome::Gone)
            break;
        if (m_record.holding() && m_pending.size() < RunRecord::kHeldPart)
            continue;
        if (consumed == 0 || m_pending.indexOf("\r\n") < 0)
            break;
    }
}

void AcquisitionRun::noteHandled(QByteArrayView handled)
{
    for (qsizetype at = handled.indexOf("\r\n"); at >= 0; at = handled.indexOf("\r\n", at + 2))
        ++m_linesHandled;
}

std::int64_t AcquisitionRun::linesMissing() const
{
    return std::max<std::int64_t>(0, m_record.journal().lines() - m_linesHandled);
}

MacroCall::Result AcquisitionRun::runUserMacro(SpreadsheetApp &app, bool cancellable)
{
    const MacroCall::Result result = StopMacro::run(app, m_macro, *m_view, cancellable);
    m_macroOutcome = result.summaryLine;
    return result;
}

void AcquisitionRun::quitSpreadsheet() { releaseSpreadsheet(); }

void AcquisitionRun::releaseSpreadsheet()
{
    // Held locally: quit() may let window events run, and a nested Stop must
    // not pull the application out from under the call.
    if (const std::shared_ptr<SpreadsheetApp> app = m_app) {
        try {
            app->quit();
        } catch (...) {
            qCWarning(lcRun).noquote() << "Quitting the spreadsheet failed:" << CaughtException::reason();
        }
    }
    m_book.reset();
    m_app.reset();
}
