#include "AcquisitionRun.h"

#include "DeviceWatch.h"
#include "EmulatorFeed.h"
#include "JournalReader.h"
#include "FolderLookup.h"
#include "MacroSettings.h"
#include "MessageBoxes.h"
#include "NullAcquisitionView.h"
#include "NumberReader.h"
#include "RunReplay.h"
#include "SerialComm.h"
#include "SerialDeviceWatch.h"
#include "SheetSpace.h"
#include "SpreadsheetFactory.h"
#include "UserMacro.h"
#include "WorkbookSaver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kNoDocumentsFolder =
    QStringLiteral("We do not remember the path to the master copy of our workbook.");
const QString kNoCopy =
    QStringLiteral("We cannot make a copy of the master workbook; it may have been deleted.");
const QString kNoSpreadsheet =
    QStringLiteral("We cannot start MS Excel; it may not be loaded on this computer.");
const QString kCannotOpenWorkbook = QStringLiteral("Excel cannot open workbook");
const QString kNoPort = QStringLiteral("COM port not available");
const QString kOpeningSpreadsheet = QStringLiteral("Opening MS Excel Spreadsheet");
const QString kOpeningPort = QStringLiteral("Opening COM port");
const QString kReady = QStringLiteral("Ready");
const QString kPaused = QStringLiteral("Paused");
const QString kNoPersonalMacros = QStringLiteral("Your personal macros were NOT loaded.");
const QString kMacroFailed = QStringLiteral("User macro did NOT run.");
const QString kBytesReceived = QStringLiteral("Bytes Received: ");
const QString kBlocked = QStringLiteral(
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.");
const QString kClosed = QStringLiteral(
    "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.");
const QString kWorkbookFile = QStringLiteral("spreadsheet.xls");
// How long Stop's last write waits for a busy spreadsheet: a normal call's limit.
constexpr int kLastWriteWaitMs = 1000;
constexpr int kLastWritePauseMs = 50;
const QString kTitle = QStringLiteral("Halvern");

// Stands in for the main window once it has gone.
NullAcquisitionView &nullView()
{
    static NullAcquisitionView view;
    return view;
}

// A number the way the general number format writes it: whole numbers
// without a decimal point, otherwise up to 15 significant digits, very large
// or small numbers with an exponent (1E+20, 1.5E-05).
QByteArray generalNumber(double v)
{
    if (v == 0)
        return QByteArrayLiteral("0");
    // Range first: converting a double outside long long's range is undefined.
    if (v < 1e15 && v > -1e15 && v == std::trunc(v))
        return QByteArray::number(static_cast<long long>(v));
    return QByteArray::number(v, 'g', 15).toUpper();
}

} // namespace

AcquisitionRun::AcquisitionRun(AcquisitionView &view, SerialComm &comm,
                               SpreadsheetFactory &factory, MessageBoxes &boxes,
                               EmulatorFeed &emulator, QString programFolder,
                               std::function<QTime()> clock)
    : m_view(&view),
      m_comm(comm),
      m_factory(factory),
      m_boxes(boxes),
      m_emulator(emulator),
      m_programFolder(std::move(programFolder)),
      m_parser(std::move(clock))
{
    while (m_programFolder.size() > 1 && m_programFolder.endsWith('/'))
        m_programFolder.chop(1);
}

AcquisitionRun::~AcquisitionRun() { *m_alive = false; }

void AcquisitionRun::detachView() { m_view = &nullView(); }

// ---- Start ---------------------------------------------------------------

bool AcquisitionRun::openWorkbookAndPort()
{
    AcquisitionView &view = *m_view;
    view.setExcelLamp(Lamp::Yellow);
    view.setStatusText(kOpeningSpreadsheet);
    m_blockColumn = 1;
    m_portLost = false;

    auto fail = [&view](const QString &text) {
        view.setExcelLamp(Lamp::Red);
        view.setStatusText(text);
        return false;
    };

    // The working copy lives in the documents folder; the master is copied
    // there only when no working copy exists yet.
    QString documents;
    bool found = false;
    try {
        found = m_lookUpDocuments ? m_lookUpDocuments(documents)
                                  : GetFolderPath(CSIDL_PERSONAL, documents, m_boxes);
    } catch (...) {
        found = false;
    }
    if (!found || documents.isEmpty())
        return fail(kNoDocumentsFolder);
    if (documents.size() > 1 && documents.endsWith('/'))
        documents.chop(1);
    const QString working = documents + '/' + kWorkbookFile;
    if (!QFileInfo::exists(working)) {
        if (!QFile::copy(m_programFolder + '/' + kWorkbookFile, working))
            return fail(kNoCopy);
        // A master installed read-only must not give a read-only working copy.
        QFile::setPermissions(working, QFile::permissions(working) | QFile::ReadOwner
                                           | QFile::WriteOwner);
    }

    std::shared_ptr<SpreadsheetApp> app;
    try {
        app = m_factory.create();
    } catch (...) {
        app.reset();
    }
    if (!app)
        return fail(kNoSpreadsheet);
    m_app = app;

    try {
        m_book = app->open(working);
        if (!m_book)
            throw SpreadsheetError(SpreadsheetError::Kind::Failed, working);
        app->setVisible(true);
    } catch (...) {
        releaseSpreadsheet();
        return fail(kCannotOpenWorkbook);
    }

    view.setExcelLamp(Lamp::Green);
    view.setStatusText(QString());
    view.setComPortLamp(Lamp::Yellow);
    view.setStatusText(kOpeningPort);
    try {
        m_comm.setPortOpen(true);
    } catch (...) {
        view.setStatusText(kNoPort);
        view.setComPortLamp(Lamp::Red);
        view.setComPortTip(m_comm.lastOpenFailure().text);
        releaseSpreadsheet();
        return false;
    }
    view.setComPortLamp(Lamp::Green);
    view.setComPortTip(QString());
    view.setStatusText(kReady);

    view.setStartEnabled(false);
    view.setStopEnabled(true);
    view.setPauseEnabled(true);
    view.setPauseInFront(true);
    view.setResumeEnabled(false);
    view.setComPortsEnabled(false);

    // The user's personal macro workbook, so that a macro run at Stop can be
    // found there.
    if (UserMacro::openPersonal(*app, *m_book) == UserMacro::Personal::Failed) {
        view.setExcelLamp(Lamp::Yellow);
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
    if (m_state != RunState::Running || m_inTick)
        return;
    m_inTick = true;
    const QByteArray text = takeIncomingText();
    // The bytes are the record: kept before anything else is done with them.
    m_journal.append(text, now());
    m_pending.append(afterBrokenLine(text));
    if (!m_pending.isEmpty())
        writePendingLines();
    m_journal.syncIfDue(now());
    m_inTick = false;

    // A click handled here may stop or pause the run, or close the main
    // window and destroy this object with it: check before going on.
    const std::shared_ptr<bool> alive = m_alive;
    m_view->processEvents();
    if (!*alive)
        return;
    m_view->setTimerEnabled(true);
}

QByteArray AcquisitionRun::takeIncomingText()
{
    QByteArray text;
    if (!m_emulator.isActive()) {
        if (!m_portLost) {
            try {
                text = m_comm.input();
            } catch (...) {
                portFailed();
            }
        }
    } else if (const QByteArray output = m_emulator.takeOutput(); !output.isEmpty()) {
        bool isNumber = false;
        const double v = NumberReader::leadingNumber(output, &isNumber);
        if (m_emulator.injectTabRequested() && isNumber) {
            text = generalNumber(v) + '\t' + generalNumber(v + 1) + "\r\n";
            m_emulator.clearInjectTab(); // one-shot: unticks "Inject Single Tab"
        } else {
            // A text without a leading number (a block separator) passes as it
            // is; the inject request waits for a numeric one.
            text = output;
        }
    }
    const qint64 total = static_cast<qint64>(m_bytesReceived) + text.size();
    m_bytesReceived = static_cast<std::int32_t>(
        std::min<qint64>(total, std::numeric_limits<std::int32_t>::max()));
    return text;
}

// The port failed on reading (the adapter was pulled, the device vanished):
// close it and say so. The run goes on, so text already received is still
// written, and Stop ends it as usual. The device is watched for; when it is
// back the port opens again and the reading goes on.
void AcquisitionRun::portFailed()
{
    m_portLost = true;
    try {
        m_comm.setPortOpen(false);
    } catch (...) {
    }
    m_view->setComPortLamp(Lamp::Red);
    m_view->setStatusText(kNoPort);

    // An adapter pulled out and put back during a pause is only noticed at
    // the first read after Resume, when it is back already: the watch would
    // take the device present as the one lost and wait for it to change.
    if (reopenPort())
        return;
    const QString device = m_comm.openedDevicePath();
    if (device.isEmpty())
        return; // nothing known to watch for: the port stays closed
    if (!m_deviceWatch)
        m_deviceWatch = std::make_unique<SerialDeviceWatch>();
    m_deviceWatch->watch(device, [this] { portReturned(); });
}

void AcquisitionRun::portReturned()
{
    if (m_state == RunState::Stopped || !m_portLost) {
        stopWatchingForPort();
        return;
    }
    // A report that comes while a tick is in the parse (a spreadsheet call
    // letting events run) waits for the next look.
    if (m_inTick)
        return;
    if (reopenPort())
        stopWatchingForPort();
}

bool AcquisitionRun::reopenPort()
{
    // MSComm kept the run's settings: opening again applies them.
    try {
        m_comm.setPortOpen(true);
    } catch (...) {
        m_view->setComPortTip(m_comm.lastOpenFailure().text);
        return false; // tried again at the next look
    }
    m_portLost = false;
    if (!m_emulator.isActive()) {
        m_brokenLine.drop(m_pending, m_parser);
        m_journal.noteGap(); // so that a replay drops it too
    }
    m_view->setComPortTip(QString());
    if (m_state != RunState::Running)
        return true; // a pause keeps its display until Resume
    m_view->setComPortLamp(Lamp::Green);
    m_view->setStatusText(bytesText(false));
    return true;
}

void AcquisitionRun::stopWatchingForPort()
{
    if (m_deviceWatch)
        m_deviceWatch->stop();
}

void AcquisitionRun::setDeviceWatch(std::unique_ptr<DeviceWatch> watch)
{
    stopWatchingForPort();
    m_deviceWatch = std::move(watch);
}

bool AcquisitionRun::watchingForPort() const { return m_deviceWatch && m_deviceWatch->watching(); }

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
    if (SheetSpace::isFull(m_row) && app) {
        // The sheet is full: the run goes on in a new sheet after it. If
        // that fails, the lines past the last row are counted as lost.
        try {
            app->addSheet();
            startNewSheet();
        } catch (...) {
        }
        if (!*alive || generation != m_generation)
            return;
    }
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

    switch (outcome) {
    case StreamParser::Outcome::Ok:
    case StreamParser::Outcome::Dropped:
        // Lines or cells that could not be written (outside the sheet, refused,
        // too long) do not stop the run; the lamp warns, the parser counts them.
        m_view->setExcelLamp(outcome == StreamParser::Outcome::Ok ? Lamp::Green : Lamp::Yellow);
        m_view->setStatusText(m_portLost ? kNoPort : bytesText(false));
        m_view->setPauseEnabled(true);
        break;
    case StreamParser::Outcome::Busy:
        m_view->setExcelLamp(Lamp::Yellow);
        m_view->setStatusText(kBlocked);
        m_view->setPauseEnabled(false);
        break;
    case StreamParser::Outcome::Gone:
        m_view->setExcelLamp(Lamp::Red);
        m_view->setStatusText(kClosed);
        m_view->setPauseEnabled(false);
        break;
    }
}

QString AcquisitionRun::bytesText(bool grouped) const
{
    if (m_bytesReceived == 0)
        return kReady;
    if (!grouped)
        return kBytesReceived + QString::number(m_bytesReceived);
    // "#,#": digits grouped by the user's thousands separator. QLocale() is the
    // user's locale unless the program sets another default (tests do).
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return kBytesReceived + locale.toString(static_cast<qlonglong>(m_bytesReceived));
}

// ---- Pause and resume -----------------------------------------------------

void AcquisitionRun::pause()
{
    if (m_state != RunState::Running)
        return;
    m_state = RunState::Paused;
    m_view->setTimerEnabled(false);
    m_view->setPauseEnabled(false);
    m_view->setResumeEnabled(true);
    m_view->setPauseInFront(false);
    m_view->setComPortLamp(Lamp::Yellow);
    m_view->setExcelLamp(Lamp::Yellow);
    m_view->setStatusText(kPaused);
}

void AcquisitionRun::resume()
{
    if (m_state != RunState::Paused)
        return;
    m_view->setResumeEnabled(false);
    m_view->setPauseEnabled(true);
    m_view->setPauseInFront(true);
    // A port lost during the run stays red until its device is back.
    m_view->setComPortLamp(m_portLost ? Lamp::Red : Lamp::Green);
    m_view->setExcelLamp(Lamp::Green);
    m_view->setStatusText(m_portLost ? kNoPort : bytesText(true));
    m_state = RunState::Running;
    m_view->setTimerEnabled(true);
}

// ---- Stop -------------------------------------------------------------------

void AcquisitionRun::stop(const MacroSettings &macro)
{
    const bool wasUp = m_state != RunState::Stopped;
    m_state = RunState::Stopped;
    m_view->setTimerEnabled(false);
    stopWatchingForPort();
    ++m_generation;
    m_savedAs.clear();
    m_alsoSavedAs.clear();
    m_rebuilt.clear();
    if (wasUp)
        takeLastText();
    closeRun(macro);
    m_pending.clear();
    if (wasUp)
        closeJournal();
    m_bytesReceived = 0;
    m_view->setUtilitiesMenuVisible(true);
}

QDateTime AcquisitionRun::now() const
{
    return m_journalClock ? m_journalClock() : QDateTime::currentDateTime();
}

void AcquisitionRun::openJournal()
{
    m_started = now();
    m_comNumber = 0;
    try {
        m_comNumber = m_comm.commPort();
    } catch (...) {
    }
    const QString folder = m_journalFolder.isEmpty() ? RunJournal::defaultFolder() : m_journalFolder;
    // A journal that cannot be written is told once; the run goes on.
    if (!m_journal.open(folder, m_started, m_comNumber))
        m_view->setExcelLampTip(QStringLiteral("The bytes of this run are NOT being kept: ")
                                + m_journal.problem());
    else
        m_view->setExcelLampTip(QString());
}

void AcquisitionRun::closeJournal()
{
    const QString problem = m_journal.problem();
    m_journal.close();
    const QString device = m_comm.openedDevicePath();
    const QString stamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    QString text;
    text += QStringLiteral("Halvern run\n");
    text += QStringLiteral("Started: ") + m_started.toString(stamp) + '\n';
    text += QStringLiteral("Stopped: ") + now().toString(stamp) + '\n';
    text += QStringLiteral("Port: COM") + QString::number(m_comNumber)
        + (device.isEmpty() ? QString() : QStringLiteral(" (") + device + ')') + '\n';
    text += QStringLiteral("Bytes received: ") + QString::number(m_journal.bytes()) + '\n';
    text += QStringLiteral("Lines received: ") + QString::number(m_journal.lines()) + '\n';
    const StreamParser::Counts &c = m_parser.counts();
    text += QStringLiteral("Rows used: ") + QString::number(m_rowsInFullSheets + m_row - 1)
        + (m_sheetsAdded > 0 ? QStringLiteral(" (in %1 sheets)").arg(m_sheetsAdded + 1) : QString()) + '\n';
    text += QStringLiteral("Cells written: ") + QString::number(c.cellsWritten) + '\n';
    text += m_rebuilt;
    const std::int64_t missing = linesMissing();
    auto lost = [&text](const char *why, qint64 lines, qint64 cells) {
        if (lines > 0)
            text += QStringLiteral("Lines not written in full, %1: %2 (%3 cells)\n")
                        .arg(QLatin1String(why)).arg(lines).arg(cells);
    };
    lost("longer than 1 MiB without a line end", c.linesTooLong, 0);
    lost("past the sheet's last row", c.linesPastLastRow, c.cellsPastLastRow);
    lost("past the sheet's last column", c.linesPastLastColumn, c.cellsPastLastColumn);
    lost("refused by the spreadsheet", c.linesRefused, c.cellsRefused);
    lost("fields past column 256 of a data line, left out by design", c.linesPastDataColumns,
         c.cellsPastDataColumns);
    if (m_brokenLine.dropped() > 0)
        text += QStringLiteral("Unfinished lines left out when the port was lost: ")
            + QString::number(m_brokenLine.dropped()) + '\n';
    if (missing > 0)
        text += QStringLiteral("Lines missing from the workbook (the spreadsheet closed or stopped answering): ")
            + QString::number(missing) + '\n';
    text += QStringLiteral("Workbook saved as: ")
        + (m_savedAs.isEmpty() ? QStringLiteral("(not saved)") : m_savedAs) + '\n';
    if (!m_alsoSavedAs.isEmpty())
        text += QStringLiteral("Whole workbook also saved as: ") + m_alsoSavedAs + '\n';
    text += QStringLiteral("Raw bytes: ") + m_journal.rawPath() + '\n';
    if (!problem.isEmpty())
        text += QStringLiteral("Journal problem: ") + problem + '\n';
    m_journal.writeSummary(text);
}

void AcquisitionRun::closeRun(const MacroSettings &macro)
{
    try {
        m_comm.setPortOpen(false);
    } catch (...) {
        // already closed or gone
    }
    m_portLost = false;

    AcquisitionView &view = *m_view;
    view.setComPortLamp(Lamp::Frame);
    view.setExcelLamp(Lamp::Frame);
    view.setStatusText(QString());
    view.setStopEnabled(false);
    view.setStartEnabled(true);
    view.setPauseEnabled(false);
    view.setPauseInFront(true);
    view.setResumeEnabled(false);
    view.setComPortsEnabled(true);

    // From here on a failing call is skipped and the stop goes on. The macro
    // runs before the save, so what it changes is saved with the data.
    if (m_app) {
        writeLastLines();
        runUserMacro(macro);
        saveOrRebuild(macro);
    }
    releaseSpreadsheet();
}

void AcquisitionRun::takeLastText()
{
    if (m_state == RunState::Stopped && !m_portLost && !m_emulator.isActive()) {
        try {
            const QByteArray last = m_comm.input();
            m_bytesReceived += static_cast<std::int32_t>(last.size());
            m_journal.append(last, now());
            m_pending.append(afterBrokenLine(last));
        } catch (...) {
        }
    }
}

void AcquisitionRun::startNewSheet()
{
    m_rowsInFullSheets += m_row - 1;
    ++m_sheetsAdded;
    m_row = 1;
}

void AcquisitionRun::writeLastLines()
{
    // Only an unfinished last line is left out; it stays in the journal.
    if (m_pending.indexOf("\r\n") < 0)
        return;
    // A write that outlived its limit may be just ending (Stop is often
    // clicked while a slow write blocks the window): it gets the time of a
    // normal call before the lines are given up on.
    const QDeadlineTimer wait(kLastWriteWaitMs);
    for (;;) {
        if (SheetSpace::isFull(m_row)) {
            try {
                m_app->addSheet();
                startNewSheet();
            } catch (...) {
            }
        }
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
        if (consumed == 0 || m_pending.indexOf("\r\n") < 0 || outcome == StreamParser::Outcome::Busy
            || outcome == StreamParser::Outcome::Gone)
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
    return std::max<std::int64_t>(0, m_journal.lines() - m_linesHandled);
}

QString AcquisitionRun::documentsFolder()
{
    QString documents;
    try {
        if (!(m_lookUpDocuments ? m_lookUpDocuments(documents)
                                : GetFolderPath(CSIDL_PERSONAL, documents, m_boxes)))
            documents.clear();
    } catch (...) {
        documents.clear();
    }
    return documents;
}

QString AcquisitionRun::replayCommand() const
{
    QString raw = m_journal.rawPath();
    QString target = raw;
    target.chop(4);
    return QStringLiteral("halvern --replay \"%1\" --save-as \"%2.xlsx\"").arg(raw, target);
}

void AcquisitionRun::saveOrRebuild(const MacroSettings &macro)
{
    const std::int64_t missing = linesMissing();
    WorkbookSaver::Result result = WorkbookSaver::Result::OfficeFailed;
    if (missing == 0 && m_book) {
        WorkbookSaver saver(*m_app, *m_book, m_boxes, documentsFolder());
        result = saver.save();
        m_savedAs = saver.savedAs();
        m_alsoSavedAs = saver.alsoSavedAs();
    }
    const bool journalKept = m_journal.problem().isEmpty() && !m_journal.rawPath().isEmpty();
    if (result == WorkbookSaver::Result::Declined && journalKept) {
        m_boxes.show(QStringLiteral("The workbook was not saved. Everything this run received is kept in\n%1\n\n"
                                    "To make the workbook from it later:\n%2")
                         .arg(m_journal.rawPath(), replayCommand()),
                     kTitle);
    }
    if (result != WorkbookSaver::Result::OfficeFailed)
        return;
    if (!journalKept) {
        m_boxes.show(QStringLiteral("The workbook cannot be saved: the spreadsheet application has closed or does "
                                    "not answer, and this run's bytes could not be kept: %1")
                         .arg(m_journal.problem()),
                     kTitle);
        return;
    }
    const QString why = missing > 0
        ? QStringLiteral("%1 lines of this run are missing from the workbook: the spreadsheet application closed "
                         "or stopped answering.").arg(missing)
        : QStringLiteral("The workbook cannot be saved: the spreadsheet application closed or does not answer.");
    const auto answer = m_boxes.show(why + QStringLiteral("\n\nEverything this run received is kept in its "
                                                          "journal. Rebuild the workbook from it now?"),
                                     kTitle, MessageBoxes::Buttons::OkCancel);
    if (answer == MessageBoxes::Answer::Ok && rebuildFromJournal(macro))
        return;
    m_boxes.show(QStringLiteral("The workbook can be made from this run's journal at any time:\n%1")
                     .arg(replayCommand()),
                 kTitle);
}

bool AcquisitionRun::rebuildFromJournal(const MacroSettings &macro)
{
    releaseSpreadsheet(); // a stuck office is ended here
    auto fail = [this](const QString &why) {
        m_view->showProgress(0, 0);
        m_boxes.show(QStringLiteral("The workbook could not be rebuilt: ") + why, kTitle);
        return false;
    };
    // A fresh copy of the master, named as the working copy so the usual
    // save follows.
    m_rebuildFolder = std::make_unique<QTemporaryDir>();
    const QString copy = m_rebuildFolder->filePath(kWorkbookFile);
    if (!m_rebuildFolder->isValid() || !QFile::copy(m_programFolder + '/' + kWorkbookFile, copy))
        return fail(kNoCopy);
    QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ReadOwner | QFile::WriteOwner);
    JournalReader reader;
    QString error;
    if (!reader.open(m_journal.rawPath(), &error))
        return fail(error);
    try {
        m_app = m_factory.createHeadless();
        if (!m_app)
            return fail(kNoSpreadsheet);
        m_book = m_app->open(copy);
    } catch (const std::exception &e) {
        return fail(QString::fromStdString(e.what()));
    }
    RunReplay replay(*m_app, [this](qint64 done, qint64 total) { m_view->showProgress(done, total); });
    if (!replay.replay(reader, &error))
        return fail(error);
    m_view->showProgress(0, 0);
    m_linesHandled = m_journal.lines(); // all of them are in the rebuilt workbook
    m_rebuilt = QStringLiteral("Workbook rebuilt from the journal: %1 rows used, %2 cells written\n")
                    .arg(replay.rows())
                    .arg(replay.counts().cellsWritten);
    runUserMacro(macro);
    WorkbookSaver saver(*m_app, *m_book, m_boxes, documentsFolder());
    const WorkbookSaver::Result result = saver.save();
    m_savedAs = saver.savedAs();
    m_alsoSavedAs = saver.alsoSavedAs();
    if (result == WorkbookSaver::Result::Declined)
        m_boxes.show(QStringLiteral("The workbook was not saved. Everything this run received is kept in\n%1\n\n"
                                    "To make the workbook from it later:\n%2")
                         .arg(m_journal.rawPath(), replayCommand()),
                     kTitle);
    return result != WorkbookSaver::Result::OfficeFailed;
}

void AcquisitionRun::runUserMacro(const MacroSettings &macro)
{
    if (macro.enabled && !macro.name.isEmpty() && !UserMacro::run(*m_app, macro.name))
        m_view->setStatusText(kMacroFailed);
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
        }
    }
    m_book.reset();
    m_app.reset();
    m_rebuildFolder.reset();
}
