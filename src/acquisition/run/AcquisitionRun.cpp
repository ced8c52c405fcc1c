#include "AcquisitionRun.h"

#include "CaughtException.h"
#include "EmulatorFeed.h"
#include "FolderName.h"
#include "JournalTexts.h"
#include "LogCategories.h"
#include "MacroSettings.h"
#include "MessageBoxes.h"
#include "NullAcquisitionView.h"
#include "RunTexts.h"
#include "SerialComm.h"
#include "SpreadsheetFactory.h"
#include "StreamWatch.h"
#include "WorkingCopy.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <limits>

namespace {
using namespace RunTexts;

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
      m_programFolder(FolderName::withoutTrailingSlash(std::move(programFolder))),
      m_feeder(std::move(clock)),
      m_port(comm),
      m_workingCopy(factory, m_programFolder),
      m_stopSave(factory, boxes, m_programFolder,
                 {[this] { return m_workingCopy.documentsFolder(); },
                  [this](qint64 done, qint64 total) { m_view->showProgress(done, total); },
                  [this](SpreadsheetApp &app, MacroCall::Done done) { runUserMacro(app, true, std::move(done)); },
                  [this](const QString &text, int seconds) { m_view->showWaiting(text, seconds); }})
{
}

AcquisitionRun::~AcquisitionRun() = default;

void AcquisitionRun::detachView() { m_view = &nullView(); }

void AcquisitionRun::setStreamWatch(StreamWatch *watch)
{
    m_streamWatch = watch;
    m_feeder.setObserver(watch);
}

// ---- Start ---------------------------------------------------------------

bool AcquisitionRun::openWorkbookAndPort()
{
    AcquisitionView &view = *m_view;
    view.setSpreadsheetLamp(Lamp::Yellow);
    view.setStatusText(kOpeningSpreadsheet);
    m_port.forget();

    auto fail = [&view](const QString &text) {
        qCWarning(lcRun).noquote() << "The run did not start:" << text;
        view.setSpreadsheetLamp(Lamp::Red);
        view.setStatusText(text);
        return false;
    };

    // The working copy is kept beside the runs as the run's starting
    // workbook: the run's record names it, a rebuild starts from it.
    m_workingCopy.setRunsFolder(m_record.folder());
    const WorkingCopy::Opened opened = m_workingCopy.open();
    if (!opened.failure.isEmpty())
        return fail(opened.failure);
    m_startingWorkbookSha256 = opened.startingSha256;
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
    if (m_state != RunState::Stopped || m_stopping)
        return; // a run is up or still stopping; the button is disabled then
    if (!openWorkbookAndPort())
        return;
    m_state = RunState::Running;
    m_feeder.reset();
    m_rebuilt = false;
    m_officeTrouble = false;
    if (m_streamWatch)
        m_streamWatch->runStarted();
    openJournal();
    m_view->setTimerEnabled(true);
    m_view->bringToFront();
    m_view->setUtilitiesMenuVisible(false);
}

void AcquisitionRun::openJournal()
{
    int comNumber = 0;
    try {
        comNumber = m_comm.commPort();
    } catch (...) {
        qCWarning(lcRun).noquote() << "The journal has no COM number:" << CaughtException::reason();
    }
    m_record.open(comNumber, m_startingWorkbookSha256);
    watchJournal(true); // a journal that cannot be written is told on the lamp; the run goes on
}

// ---- Tick and parser ------------------------------------------------------

void AcquisitionRun::tick()
{
    m_view->setTimerEnabled(false);
    if (m_state == RunState::Stopped)
        return;
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
        if (!m_feeder.pending().isEmpty())
            writePendingLines();
    }
    m_record.syncIfDue();
    watchJournal();
    m_view->setTimerEnabled(true);
}

void AcquisitionRun::receive(const QByteArray &text)
{
    // One arrival time for the journal and the sheet: a block's time stamp is
    // the same live and in a rebuild.
    const QDateTime arrived = m_record.now();
    const bool toSheet = m_record.keep(text, arrived);
    if (m_streamWatch && !text.isEmpty())
        m_streamWatch->textArrived(text);
    if (toSheet)
        m_feeder.receive(text, arrived.time());
}

void AcquisitionRun::takeFromBacklog()
{
    const Result<QList<JournalBacklog::Part>> parts = m_record.takeHeld(m_feeder.pending().size());
    if (!parts) {
        qCWarning(lcJournal).noquote() << "The pause's backlog was not read back:" << parts.failure().reason;
        m_view->showNotice(JournalTexts::backlogLost(parts.failure().reason));
        return;
    }
    for (const JournalBacklog::Part &part : *parts)
        m_feeder.receive(part.bytes, part.arrived);
}

void AcquisitionRun::watchJournal(bool retell)
{
    if (const QString notice = m_record.untoldFailure(); !notice.isEmpty()) {
        qCWarning(lcJournal).noquote() << notice;
        m_view->showNotice(notice);
    }
    const QString tip = JournalTexts::lampTip(m_record.journal(), m_officeTrouble);
    if (tip != m_officeTip || retell) {
        m_officeTip = tip;
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
    if (reopenPort())
        m_port.stopWatching();
}

bool AcquisitionRun::reopenPort()
{
    if (const std::optional<Failure> failure = m_port.reopen()) {
        m_view->setComPortTip(failure->reason);
        return false; // tried again at the next look
    }
    if (!m_emulator.isActive()) {
        if (m_feeder.breakLine() && m_streamWatch)
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

void AcquisitionRun::writePendingLines()
{
    const StreamParser::Outcome outcome = m_feeder.write(m_app.get());
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
