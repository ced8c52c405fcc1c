#pragma once

#include "AcquisitionView.h"
#include "DeviceWatch.h"
#include "MacroSettings.h"
#include "PortRecovery.h"
#include "RunRecord.h"
#include "SheetFeeder.h"
#include "StopSave.h"
#include "WorkingCopy.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>
#include <memory>

class EmulatorFeed;
class MessageBoxes;
class SerialComm;
class SpreadsheetApp;
class SpreadsheetFactory;
class StreamWatch;
class Workbook;

enum class RunState { Stopped, Running, Paused };

// One acquisition run from Start to Stop: opens the working copy of the
// master workbook in a new spreadsheet instance and the serial port, turns
// the received text into worksheet cells on every tick, pauses and resumes,
// and at Stop runs the user macro, offers to save the workbook under a new
// name and quits the spreadsheet. The main window owns it, forwards its
// button clicks and timer ticks to it, and is driven through AcquisitionView.
// While the emulator feed is active the text comes from there instead of the port.
// A port whose device vanishes during the run is watched for and reopened
// when the same device is back; the run goes on into the same rows.
class AcquisitionRun {
public:
    // `programFolder` holds the master "spreadsheet.xls". The block time
    // stamps are the arrival times the journal keeps (setJournalClock());
    // `clock` gives the time of day only for text received without one (the
    // system clock when empty).
    AcquisitionRun(AcquisitionView &view, SerialComm &comm, SpreadsheetFactory &factory, MessageBoxes &boxes,
                   EmulatorFeed &emulator, QString programFolder, std::function<QTime()> clock = {});
    ~AcquisitionRun();
    AcquisitionRun(const AcquisitionRun &) = delete;
    AcquisitionRun &operator=(const AcquisitionRun &) = delete;

    RunState state() const { return m_state; }
    std::int32_t nextRow() const { return m_feeder.row(); }              // worksheet row of the next line
    std::int16_t blockColumn() const { return m_feeder.blockColumn(); }  // column of the current TAB block
    const QByteArray &pendingText() const { return m_feeder.pending(); } // received, not yet written
    std::int32_t bytesReceived() const { return m_bytesReceived; }
    // The spreadsheet application of the run and the workbook written into;
    // null when none is held.
    std::shared_ptr<SpreadsheetApp> spreadsheet() const { return m_app; }
    std::shared_ptr<Workbook> workbook() const { return m_book; }

    // Start: opens the workbook and the port and starts the tick. Nothing
    // happens while a run is up.
    void start();
    // The 100 ms tick: takes the text that arrived and writes its complete
    // lines. While paused it keeps reading the port into the journal and
    // writes nothing; after Resume what waits is read back from the journal
    // and written in order. It lets no window events run: a click that comes
    // meanwhile is handled once it has returned.
    void tick();
    void pause();
    void resume();
    // Ends the run: closes the port, runs the user macro (when `macro` enables
    // one), offers to save the workbook and quits the spreadsheet.
    // Stop keeps what it can: the lines still waiting are written, a save
    // that fails is told and asked again, and when lines are missing from
    // the workbook the user may have it rebuilt from the run's journal.
    // Without a macro it is over when stop() returns; a macro runs in the
    // background and the rest of the stop follows once it has ended, the
    // view kept busy (AcquisitionView::setBusy) meanwhile. Nothing starts or
    // stops again until then.
    void stop(const MacroSettings &macro);
    // True from a Stop until everything after its macro is done.
    bool stopping() const { return m_stopping; }

    // For the main window's unload, after the settings are written: quits the
    // spreadsheet application if one is still held and drops it.
    void quitSpreadsheet();
    // The main window is closing: from now on nothing touches the view.
    void detachView();

    // Replaces the documents-folder lookup, e.g. to let a test see a missing folder.
    void setDocumentsLookup(std::function<bool(QString &)> lookup)
    {
        m_workingCopy.setDocumentsLookup(std::move(lookup));
    }

    // Where the runs' journals go (RunJournal::defaultFolder() unless set),
    // and the clock their arrival times come from (the system's unless set).
    void setJournalFolder(QString folder) { m_record.setFolder(std::move(folder)); }
    QString journalFolder() const { return m_record.folder(); }
    void setJournalClock(std::function<QDateTime()> clock) { m_record.setClock(std::move(clock)); }
    // The journal of the current run, or of the last one once it stopped.
    const RunJournal &journal() const { return m_record.journal(); }

    // True while the port the run lost is away (from the read that failed
    // until the device is back and open again).
    // What watches for a lost port's device (a SerialDeviceWatch unless set,
    // made when first needed). Set it before Start.
    void setDeviceWatch(std::unique_ptr<DeviceWatch> watch) { m_port.setDeviceWatch(std::move(watch)); }
    // True while a lost port's device is being watched for.
    bool watchingForPort() const { return m_port.watching(); }
    // Who watches the stream (not owned; none when null): every byte as it
    // arrives and where the parser put each line.
    void setStreamWatch(StreamWatch *watch);

private:
    // Opens workbook and port; true when both are open. Everything it started
    // is released again on failure.
    bool openWorkbookAndPort();
    // The text that arrived since the last tick, counted into bytesReceived().
    QByteArray takeIncomingText();
    // Keeps what arrived in the journal, and gives it to the parser, or to
    // the backlog while one is held.
    void receive(const QByteArray &text);
    // Gives the feeder the next part of what waits from a pause, once it has
    // caught up.
    void takeFromBacklog();
    // Tells a journal that began to fail, and keeps the lamp's tooltip true.
    // `retell` sets the tooltip even when it did not change (a new run).
    void watchJournal(bool retell = false);
    // Adds to bytesReceived(), which stops at its largest value.
    void countReceived(qsizetype bytes);
    // Writes the complete lines of the pending text and shows the outcome.
    void writePendingLines();
    void closeRun(const MacroSettings &macro);
    // Stop's save once the macro has ended, then the rest of the stop.
    void saveAtStop();
    void finishStop();
    // At Stop: what the port still holds is taken in, and the complete lines
    // waiting get one last write.
    void takeLastText();
    void writeLastLines();
    // The lines received that are not in the workbook.
    std::int64_t linesMissing() const;
    void portFailed();
    // The watched device is there again.
    void portReturned();
    // Opens the lost port again; true when it is open.
    bool reopenPort();
    // The macro chosen at Stop, in `app`; a failure is shown in the status.
    // It may be stopped in a rebuild's office. `done` takes the outcome once
    // it has ended.
    void runUserMacro(SpreadsheetApp &app, bool cancellable, MacroCall::Done done);
    // Quits the spreadsheet application (a failure means it is gone already)
    // and drops the handles.
    void releaseSpreadsheet();
    void openJournal();
    void closeJournal();

    AcquisitionView *m_view; // a do-nothing view once detached
    SerialComm &m_comm;
    SpreadsheetFactory &m_factory;
    MessageBoxes &m_boxes;
    EmulatorFeed &m_emulator;
    QString m_programFolder;
    SheetFeeder m_feeder;
    PortRecovery m_port;
    WorkingCopy m_workingCopy;

    RunState m_state = RunState::Stopped;
    std::int32_t m_bytesReceived = 0;
    std::shared_ptr<SpreadsheetApp> m_app;
    std::shared_ptr<Workbook> m_book;

    RunRecord m_record;
    QString m_startingWorkbookSha256; // the run's starting workbook as kept at Start; empty: not kept
    bool m_rebuilt = false;           // Stop made the workbook again from the journal: every line is in it
    MacroSettings m_macro;            // the macro chosen at Stop
    QString m_macroOutcome;           // its line in the run's summary
    StopSave m_stopSave;
    bool m_stopping = false;  // a Stop is under way
    bool m_stopWasUp = false; // ... of a run that was running or paused
    bool m_viewBusy = false;  // ... and waits on its macro: the view is busy

    bool m_officeTrouble = false; // the last write found the spreadsheet busy or gone
    QString m_officeTip;
    StreamWatch *m_streamWatch = nullptr;
};
