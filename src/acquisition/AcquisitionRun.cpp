#include "AcquisitionRun.h"

#include "FolderLookup.h"
#include "Globals.h"
#include "MessageBoxes.h"
#include "NullAcquisitionView.h"
#include "NumberReader.h"
#include "SerialComm.h"
#include "Spreadsheet.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
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
    // The range first: converting a double beyond long long is undefined.
    if (v < 1e15 && v > -1e15 && v == std::trunc(v))
        return QByteArray::number(static_cast<long long>(v));
    return QByteArray::number(v, 'g', 15).toUpper();
}

} // namespace

AcquisitionRun::AcquisitionRun(AcquisitionView &view, Globals &globals, SerialComm &comm,
                               SpreadsheetFactory &factory, MessageBoxes &boxes,
                               QString programFolder, std::function<QTime()> clock)
    : m_view(&view),
      m_g(globals),
      m_comm(comm),
      m_factory(factory),
      m_boxes(boxes),
      m_programFolder(std::move(programFolder)),
      m_parser(std::move(clock))
{
    while (m_programFolder.size() > 1 && m_programFolder.endsWith('/'))
        m_programFolder.chop(1);
}

AcquisitionRun::~AcquisitionRun() { *m_alive = false; }

void AcquisitionRun::detachView() { m_view = &nullView(); }

// ---- Start ---------------------------------------------------------------

bool AcquisitionRun::StartAcquisition()
{
    AcquisitionView &view = *m_view;
    view.setExcelLamp(Lamp::Yellow);
    view.setStatusText(kOpeningSpreadsheet);
    m_g.iBlockColumn = 1;
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
    m_g.xlApp = app;

    auto release = [this, &app]() {
        try {
            app->quit();
        } catch (...) {
        }
        m_g.xlBook.reset();
        m_g.xlApp.reset();
    };

    try {
        m_g.xlBook = app->open(working);
        if (!m_g.xlBook)
            throw SpreadsheetError(SpreadsheetError::Kind::Failed, working);
        app->setVisible(true);
    } catch (...) {
        release();
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
        release();
        return false;
    }
    view.setComPortLamp(Lamp::Green);
    view.setStatusText(kReady);

    view.setStartEnabled(false);
    view.setStopEnabled(true);
    view.setPauseEnabled(true);
    view.setPauseInFront(true);
    view.setResumeEnabled(false);
    view.setComPortsEnabled(false);

    // The user's personal macro workbook, so that a macro run at Stop can be
    // found there. "Personal.ods" stands in when there is no "Personal.xls"
    // (an .xls file cannot carry the office's Basic macros).
    QString personal;
    try {
        QString startup = app->startupPath();
        while (startup.size() > 1 && startup.endsWith('/'))
            startup.chop(1);
        if (!startup.isEmpty()) {
            if (QFileInfo::exists(startup + QStringLiteral("/Personal.xls")))
                personal = startup + QStringLiteral("/Personal.xls");
            else if (QFileInfo::exists(startup + QStringLiteral("/Personal.ods")))
                personal = startup + QStringLiteral("/Personal.ods");
        }
    } catch (...) {
        personal.clear();
    }
    if (!personal.isEmpty()) {
        bool opened = false;
        try {
            app->open(personal);
            opened = true;
        } catch (...) {
        }
        if (opened) {
            try {
                m_g.xlBook->activate(); // the working copy stays the one written into
            } catch (...) {
            }
        } else {
            view.setExcelLamp(Lamp::Yellow);
            view.setStatusText(kNoPersonalMacros);
        }
    }
    return true;
}

void AcquisitionRun::cmdStart_Click()
{
    if (iRunState != 0)
        return; // a run is already up; the button is disabled then
    if (!StartAcquisition())
        return;
    iRunState = 1;
    lRow = 1;
    ++m_generation;
    m_view->setTimerEnabled(true);
    m_view->bringToFront();
    m_view->setUtilitiesMenuVisible(false);
}

// ---- Tick and parser ------------------------------------------------------

void AcquisitionRun::tmrMain_Timer()
{
    m_view->setTimerEnabled(false);
    if (iRunState != 1 || m_inTick)
        return;
    m_inTick = true;
    sInBuffer.append(GetIncomingText());
    if (!sInBuffer.isEmpty())
        ParseBuffer();
    m_inTick = false;

    // A click handled here may stop or pause the run, or close the main
    // window and destroy this object with it: check before going on.
    const std::shared_ptr<bool> alive = m_alive;
    m_view->processEvents();
    if (!*alive)
        return;
    m_view->setTimerEnabled(true);
}

QByteArray AcquisitionRun::GetIncomingText()
{
    QByteArray text;
    if (!m_g.bEmulatorActive) {
        if (!m_portLost) {
            try {
                text = m_comm.input();
            } catch (...) {
                portFailed();
            }
        }
    } else if (!m_g.sEmulatorOutput.isEmpty()) {
        bool isNumber = false;
        const double v = NumberReader::leadingNumber(m_g.sEmulatorOutput, &isNumber);
        if (m_g.bInjectTab && isNumber) {
            text = generalNumber(v) + '\t' + generalNumber(v + 1) + "\r\n";
            m_g.bInjectTab = false;
            m_view->clearInjectTab(); // one-shot: untick "Inject Single Tab"
        } else {
            // A text without a leading number (a block separator) passes as it
            // is; the inject request waits for a numeric one.
            text = m_g.sEmulatorOutput;
        }
        m_g.sEmulatorOutput.clear();
    }
    const qint64 total = static_cast<qint64>(lBytesReceived) + text.size();
    lBytesReceived = static_cast<std::int32_t>(
        std::min<qint64>(total, std::numeric_limits<std::int32_t>::max()));
    return text;
}

// The port failed on reading (the adapter was pulled, the device vanished):
// close it and say so. The run goes on, so text already received is still
// written, and Stop ends it as usual.
void AcquisitionRun::portFailed()
{
    m_portLost = true;
    try {
        m_comm.setPortOpen(false);
    } catch (...) {
    }
    m_view->setComPortLamp(Lamp::Red);
    m_view->setStatusText(kNoPort);
}

void AcquisitionRun::ParseBuffer()
{
    const std::shared_ptr<bool> alive = m_alive;
    const std::uint64_t generation = m_generation;
    const std::shared_ptr<SpreadsheetApp> app = m_g.xlApp;
    // The parse works on its own (shared, not copied) reference to the text
    // and on copies of the row and column: a spreadsheet call that lets window
    // events run may see a Stop, which empties the buffer and releases the
    // spreadsheet underneath us.
    QByteArray text = sInBuffer;
    std::int32_t row = lRow;
    std::int16_t column = m_g.iBlockColumn;
    qsizetype consumed = 0;
    const StreamParser::Outcome outcome = m_parser.parse(text, app.get(), row, column, consumed);
    if (!*alive || generation != m_generation)
        return;

    lRow = row;
    m_g.iBlockColumn = column;
    text = QByteArray(); // drop the second reference, so the cut below is done in place
    sInBuffer.remove(0, consumed);
    if (iRunState != 1)
        return; // paused meanwhile: the pause owns the status display now

    switch (outcome) {
    case StreamParser::Outcome::Ok:
        m_view->setExcelLamp(Lamp::Green);
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
    if (lBytesReceived == 0)
        return kReady;
    if (!grouped)
        return kBytesReceived + QString::number(lBytesReceived);
    // "#,#": digits grouped by the user's thousands separator.
    QLocale locale = QLocale::system();
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return kBytesReceived + locale.toString(static_cast<qlonglong>(lBytesReceived));
}

// ---- Pause and resume -----------------------------------------------------

void AcquisitionRun::cmdPause_Click()
{
    if (iRunState != 1)
        return;
    iRunState = -1;
    m_view->setTimerEnabled(false);
    m_view->setPauseEnabled(false);
    m_view->setResumeEnabled(true);
    m_view->setPauseInFront(false);
    m_view->setComPortLamp(Lamp::Yellow);
    m_view->setExcelLamp(Lamp::Yellow);
    m_view->setStatusText(kPaused);
}

void AcquisitionRun::cmdResume_Click()
{
    if (iRunState != -1)
        return;
    m_view->setResumeEnabled(false);
    m_view->setPauseEnabled(true);
    m_view->setPauseInFront(true);
    // A port that failed during the run stays red: nothing more comes from it.
    m_view->setComPortLamp(m_portLost ? Lamp::Red : Lamp::Green);
    m_view->setExcelLamp(Lamp::Green);
    m_view->setStatusText(m_portLost ? kNoPort : bytesText(true));
    iRunState = 1;
    m_view->setTimerEnabled(true);
}

// ---- Stop -------------------------------------------------------------------

void AcquisitionRun::cmdStop_Click()
{
    iRunState = 0;
    m_view->setTimerEnabled(false);
    sInBuffer.clear();
    lBytesReceived = 0;
    ++m_generation;
    StopAcquisition();
    m_view->setUtilitiesMenuVisible(true);
}

void AcquisitionRun::StopAcquisition()
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
    const std::shared_ptr<SpreadsheetApp> app = m_g.xlApp;
    if (app) {
        runUserMacro();
        saveWorkbook();
        try {
            app->quit();
        } catch (...) {
        }
    }
    m_g.xlBook.reset();
    m_g.xlApp.reset();
}

void AcquisitionRun::runUserMacro()
{
    const QString name = m_g.sMacroName;
    if (!m_g.bMacroEnable || name.isEmpty())
        return;
    const std::shared_ptr<SpreadsheetApp> app = m_g.xlApp;
    bool ran = false;
    if (name.indexOf('!') >= 1) {
        // "Workbook!Macro": run exactly that.
        try {
            app->run(name);
            ran = true;
        } catch (...) {
        }
    } else {
        // A plain name: try it in each open workbook, in the application's
        // order, until one runs it.
        QList<std::shared_ptr<Workbook>> books;
        try {
            books = app->workbooks();
        } catch (...) {
        }
        for (const std::shared_ptr<Workbook> &book : books) {
            try {
                app->run(book->name() + '!' + name);
                ran = true;
                break;
            } catch (...) {
            }
        }
    }
    if (!ran)
        m_view->setStatusText(kMacroFailed);
}

void AcquisitionRun::saveWorkbook()
{
    const std::shared_ptr<SpreadsheetApp> app = m_g.xlApp;
    const std::shared_ptr<Workbook> book = m_g.xlBook;
    if (!book)
        return;
    try {
        if (book->saved())
            return; // nothing written
    } catch (...) {
        return;
    }
    try {
        book->activate();
    } catch (...) {
    }
    QString name;
    try {
        name = book->name();
    } catch (...) {
        return;
    }
    // A workbook the user saved under a name of their own during the run is
    // left alone; the working copy is offered for renaming.
    if (name.toLower() != kWorkbookFile)
        return;
    QString answer;
    try {
        answer = app->getSaveAsFilename(QString(), QStringLiteral("Excel workbook,*.xls"),
                                        QStringLiteral("Please rename this workbook"));
    } catch (...) {
        return;
    }
    if (answer.isEmpty() || answer == QLatin1String("False"))
        return;
    try {
        book->saveAs(answer);
    } catch (...) {
    }
}

void AcquisitionRun::QuitSpreadsheet()
{
    if (m_g.xlApp) {
        const std::shared_ptr<SpreadsheetApp> app = m_g.xlApp;
        try {
            app->quit();
        } catch (...) {
        }
    }
    m_g.xlBook.reset();
    m_g.xlApp.reset();
}
