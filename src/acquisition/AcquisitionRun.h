#pragma once

#include "AcquisitionView.h"
#include "StreamParser.h"

#include <QByteArray>
#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>
#include <memory>

struct Globals;
class MessageBoxes;
class SerialComm;
class SpreadsheetFactory;

// One acquisition run from Start to Stop: opens the working copy of the
// master workbook in a new spreadsheet instance and the serial port, turns
// the received text into worksheet cells on every tick, pauses and resumes,
// and at Stop runs the user macro, offers to save the workbook under a new
// name and quits the spreadsheet. The main window owns it, forwards its
// button clicks and timer ticks to it, and is driven through AcquisitionView.
class AcquisitionRun {
public:
    // `programFolder` holds the master "spreadsheet.xls". `clock` gives the
    // time of day for the block time stamps (the system clock when empty).
    AcquisitionRun(AcquisitionView &view, Globals &globals, SerialComm &comm,
                   SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder,
                   std::function<QTime()> clock = {});
    ~AcquisitionRun();
    AcquisitionRun(const AcquisitionRun &) = delete;
    AcquisitionRun &operator=(const AcquisitionRun &) = delete;

    // Main-window state of the run.
    std::int16_t iRunState = 0; // 0 stopped, 1 running, -1 paused
    std::int32_t lRow = 1;      // worksheet row of the next line
    QByteArray sInBuffer;       // received, not yet written
    std::int32_t lBytesReceived = 0;

    // Opens workbook and port; true when both are open. Everything it started
    // is released again on failure.
    bool StartAcquisition();
    void cmdStart_Click();
    // The 100 ms tick of tmrMain.
    void tmrMain_Timer();
    // The text that arrived since the last tick, counted into lBytesReceived.
    QByteArray GetIncomingText();
    // Writes the complete lines of sInBuffer and shows the outcome.
    void ParseBuffer();
    void cmdPause_Click();
    void cmdResume_Click();
    void cmdStop_Click();
    // Closes the port, runs the user macro, saves and quits the spreadsheet.
    void StopAcquisition();

    // For the main window's unload, after the settings are written: quits the
    // spreadsheet application if one is still held (a paused run) and drops it.
    void QuitSpreadsheet();
    // The main window is closing: from now on nothing touches the view. A
    // tick that is letting window events run when this happens ends there.
    void detachView();

    // Replaces the documents-folder lookup (GetFolderPath with CSIDL_PERSONAL),
    // e.g. to let a test see a missing folder.
    void setDocumentsLookup(std::function<bool(QString &)> lookup) { m_lookUpDocuments = std::move(lookup); }

    // True after the serial port failed during this run.
    bool portLost() const { return m_portLost; }

private:
    void portFailed();
    void runUserMacro();
    void saveWorkbook();
    QString bytesText(bool grouped) const;

    AcquisitionView *m_view; // a do-nothing view once detached
    Globals &m_g;
    SerialComm &m_comm;
    SpreadsheetFactory &m_factory;
    MessageBoxes &m_boxes;
    QString m_programFolder;
    StreamParser m_parser;
    std::function<bool(QString &)> m_lookUpDocuments;

    bool m_portLost = false;
    bool m_inTick = false;
    // Changes at every Start and Stop: a parse that finds it changed after a
    // spreadsheet call knows a Stop ran meanwhile and leaves the state alone.
    std::uint64_t m_generation = 0;
    // Cleared by the destructor, so a tick can tell that the main window (and
    // this run with it) went away while window events ran.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
