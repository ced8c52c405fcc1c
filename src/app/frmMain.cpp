#include "frmMain.h"

#include "AppSettings.h"
#include "AppVersion.h"
#include "Artwork.h"
#include "KeyChain.h"
#include "LogCategories.h"
#include "MessageBoxes.h"
#include "SerialComm.h"
#include "SpreadsheetFactory.h"
#include "AcquisitionRun.h"
#include "DialogActions.h"
#include "DocumentsFolder.h"
#include "EmulatorMailbox.h"
#include "frmAbout.h"
#include "frmComPort.h"
#include "frmDownload.h"
#include "frmEmulation.h"
#include "frmExcelMacro.h"
#include "frmRuns.h"
#include "JournalWorkbookMaker.h"
#include "RunWorkbook.h"
#include "StopMacro.h"
#include "UnfinishedRuns.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {
const QString kLoadFailureTitle = QStringLiteral("Program cannot be loaded.");
} // namespace

frmMain::frmMain(Services services, QWidget *parent) : QMainWindow(parent), m_services(std::move(services))
{
    setObjectName("frmMain");
    buildControls();
    buildMenus();
    m_run = std::make_unique<AcquisitionRun>(*this, m_services.MSComm1, m_services.spreadsheets, m_services.boxes,
                                             m_services.emulatorMailbox, m_services.programFolder);
    m_run->setStreamWatch(&m_receivedText);
}

frmMain::~frmMain()
{
    // The run must not reach back into a window that is going away.
    m_run->detachView();
}

void frmMain::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    central->setFixedSize(600, 200);

    fraStatus = new QGroupBox("Status", central);
    fraStatus->setObjectName("fraStatus");
    fraStatus->setGeometry(10, 8, 440, 184);

    auto makeLamp = [this](const char *name, int y) {
        auto *lamp = new QFrame(fraStatus);
        lamp->setObjectName(name);
        lamp->setFrameShape(QFrame::Panel);
        lamp->setFrameShadow(QFrame::Sunken);
        lamp->setAutoFillBackground(true);
        lamp->setGeometry(52, y, 40, 24);
        QPalette pal = lamp->palette();
        pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
        lamp->setPalette(pal);
        return lamp;
    };

    imgComPort = new QLabel(fraStatus);
    imgComPort->setObjectName("imgComPort");
    imgComPort->setPixmap(Artwork::comPortIcon());
    imgComPort->setGeometry(12, 28, 32, 24);
    panComPort = makeLamp("panComPort", 28);
    lblComPort = new QLabel("COM PORT", fraStatus);
    lblComPort->setObjectName("lblComPort");
    lblComPort->setGeometry(104, 28, 200, 24);

    imgExcel = new QLabel(fraStatus);
    imgExcel->setObjectName("imgExcel");
    imgExcel->setPixmap(Artwork::excelIcon());
    imgExcel->setGeometry(16, 66, 24, 24);
    panExcel = makeLamp("panExcel", 66);
    lblExcel = new QLabel("MS EXCEL", fraStatus);
    lblExcel->setObjectName("lblExcel");
    lblExcel->setGeometry(104, 66, 200, 24);

    cmdExcelMacro = new QPushButton("...", fraStatus);
    cmdExcelMacro->setObjectName("cmdExcelMacro");
    cmdExcelMacro->setGeometry(310, 66, 30, 24);
    cmdExcelMacro->setVisible(false); // kept hidden: the macro settings change only in the store
    connect(cmdExcelMacro, &QPushButton::clicked, this, &frmMain::cmdExcelMacro_Click);

    panStatus = new QLabel(fraStatus);
    panStatus->setObjectName("panStatus");
    panStatus->setGeometry(12, 104, 416, 68);
    panStatus->setWordWrap(true);
    panStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panStatus->setFrameShape(QFrame::Panel);
    panStatus->setFrameShadow(QFrame::Sunken);

    auto makeButton = [central](const QString &caption, const char *name, int y) {
        auto *b = new QPushButton(caption, central);
        b->setObjectName(name);
        b->setGeometry(466, y, 124, 30);
        return b;
    };
    cmdStart = makeButton("&Start", "cmdStart", 14);
    cmdStop = makeButton("S&top", "cmdStop", 50);
    cmdResume = makeButton("&Resume", "cmdResume", 86);
    cmdPause = makeButton("&Pause", "cmdPause", 86);
    cmdComPorts = makeButton("S&elect COM port", "cmdComPorts", 122);
    cmdClose = makeButton("Close", "cmdClose", 158);

    connect(cmdStart, &QPushButton::clicked, this, &frmMain::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmMain::cmdPause_Click);
    connect(cmdResume, &QPushButton::clicked, this, &frmMain::cmdResume_Click);
    connect(cmdComPorts, &QPushButton::clicked, this, &frmMain::cmdComPorts_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMain::cmdClose_Click);

    // The stopped layout.
    cmdStop->setEnabled(false);
    cmdPause->setEnabled(false);
    cmdResume->setEnabled(false);
    cmdPause->raise();

    tmrMain = new QTimer(this);
    tmrMain->setObjectName("tmrMain");
    tmrMain->setInterval(100);
    connect(tmrMain, &QTimer::timeout, this, &frmMain::tmrMain_Timer);
}

void frmMain::buildMenus()
{
    mnuTools = menuBar()->addMenu("&Tools");
    mnuToolsDLREmulation = mnuTools->addAction("Emulator");
    connect(mnuToolsDLREmulation, &QAction::triggered, this, &frmMain::mnuToolsDLREmulation_Click);
    mnuToolsReceivedText = mnuTools->addAction("Received &text...");
    connect(mnuToolsReceivedText, &QAction::triggered, this, &frmMain::mnuToolsReceivedText_Click);
    mnuToolsRuns = mnuTools->addAction("&Runs...");
    connect(mnuToolsRuns, &QAction::triggered, this, &frmMain::mnuToolsRuns_Click);

    mnuUtilities = menuBar()->addMenu("&Utilities");
    mnuUtilitiesDownload = mnuUtilities->addAction("&Update firmware");
    connect(mnuUtilitiesDownload, &QAction::triggered, this, &frmMain::mnuUtilitiesDownload_Click);

    mnuHelp = menuBar()->addMenu("&Help");
    mnuHelpAbout = mnuHelp->addAction("&About...");
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

frmAbout *frmMain::aboutBox()
{
    if (!m_about)
        m_about = new frmAbout(this);
    return m_about;
}

bool frmMain::failLoad(const QString &message)
{
    m_services.boxes.show(message, kLoadFailureTitle);
    close();
    return false;
}

bool frmMain::Form_Load()
{
    const QString keyChainPath = KeyChain::path(m_services.programFolder);
    QList<QByteArray> items;
    if (!KeyChain::readItems(keyChainPath, 1, &items))
        return failLoad("Cannot open KeyChain file: " + keyChainPath);
    const QString product = QString::fromLatin1(items.value(0));
    if (product.isEmpty())
        return failLoad("KeyChain file does not contain the name of this product.");

    setWindowTitle(product + " v" + AppVersion::text());
    setWindowIcon(aboutBox()->windowIcon());

    adjustSize();
    if (QScreen *screen = QApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.left(), avail.top() + (avail.height() - frameGeometry().height()) / 4);
    }

    readSettings();
    m_loaded = true;
    tmrMain->start(); // its first tick finds no run and switches it off
    return true;
}

void frmMain::readSettings()
{
    bool ok = false;
    const double port = AppSettings::get("Communication", "ComPort", "1").trimmed().toDouble(&ok);
    if (ok && port >= -32768.0 && port <= 32767.0) {
        try {
            m_services.MSComm1.setCommPort(static_cast<std::int16_t>(std::nearbyint(port)));
        } catch (const CommError &e) {
            // a number the component refuses is ignored: it keeps its port
            qCWarning(lcApp).noquote() << "The stored COM port is refused:" << e.description();
        }
    }
    showPortLabel();

    const bool enable = AppSettings::parseBool(AppSettings::get("Excel Macro", "Enable", "False"), &ok);
    m_macro.enabled = ok && enable;
    m_macro.name = AppSettings::get("Excel Macro", "Name", QString());
}

void frmMain::showPortLabel()
{
    lblComPort->setText("COM " + QString::number(m_services.MSComm1.commPort()));
    lblComPort->repaint();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        // A running or paused session ends with the full Stop (macro and save)
        // first: closing while paused must not lose the run's workbook.
        if (m_run->state() != RunState::Stopped)
            cmdStop_Click();
        // The window stays while a Stop or a workbook being made waits on the
        // user macro, and closes once that is over.
        if (m_busy) {
            m_closeWhenIdle = true;
            event->ignore();
            return;
        }
        m_unloaded = true;
        Form_Unload();
    }
    QMainWindow::closeEvent(event);
}

void frmMain::Form_Unload()
{
    if (m_loaded) {
        AppSettings::save("Communication", "ComPort", QString::number(m_services.MSComm1.commPort()));
        AppSettings::save("Excel Macro", "Enable", AppSettings::boolText(m_macro.enabled));
        AppSettings::save("Excel Macro", "Name", m_macro.name);
    }
    m_run->quitSpreadsheet();
    if (m_macroDialog)
        m_macroDialog->close();
    if (m_about)
        m_about->unloadForm();
    if (m_emulation)
        m_emulation->close(); // the run reads the port again
    if (m_runs)
        m_runs->close();
    tmrMain->stop();
    m_run->detachView();
    QCoreApplication::quit();
}

void frmMain::cmdClose_Click() { close(); }

void frmMain::mnuHelpAbout_Click() { aboutBox()->ShowForm(); }

void frmMain::cmdStart_Click() { m_run->start(); }
void frmMain::cmdStop_Click() { m_run->stop(m_macro); }
void frmMain::cmdPause_Click() { m_run->pause(); }
void frmMain::cmdResume_Click() { m_run->resume(); }
void frmMain::tmrMain_Timer() { m_run->tick(); }

void frmMain::cmdComPorts_Click()
{
    frmComPort dialog(m_services.portsNow, this);
    selectComPort(dialog, m_services.MSComm1, [this](const QString &label) {
        lblComPort->setText(label);
        lblComPort->repaint();
    });
}

frmExcelMacro *frmMain::macroDialog()
{
    if (!m_macroDialog)
        m_macroDialog = new frmExcelMacro(this);
    return m_macroDialog;
}

void frmMain::cmdExcelMacro_Click() { editMacroSettings(*macroDialog(), m_macro); }

void frmMain::mnuToolsDLREmulation_Click()
{
    // The emulator deletes itself when closed; showing it again loads it afresh.
    if (!m_emulation)
        m_emulation = new frmEmulation(m_services.instruments, m_services.emulatorMailbox, m_services.boxes, this);
    m_emulation->show();
    m_emulation->raise();
}

void frmMain::mnuToolsReceivedText_Click()
{
    // One window, kept when closed: it shows the text whenever it is opened.
    if (!m_receivedTextWindow)
        m_receivedTextWindow = new ReceivedTextWindow(m_receivedText, this);
    m_receivedTextWindow->show();
    m_receivedTextWindow->raise();
    m_receivedTextWindow->activateWindow();
}

frmDownload *frmMain::downloadWindow()
{
    if (!m_download)
        m_download = new frmDownload(m_services.MSComm1, m_services.boxes, m_services.programFolder, this);
    return m_download;
}

void frmMain::mnuUtilitiesDownload_Click() { downloadWindow()->ShowForm(); }

QString frmMain::journalFolder() const { return m_run->journalFolder(); }

void frmMain::mnuToolsRuns_Click()
{
    if (!m_runs) {
        m_runs = new frmRuns(
            journalFolder(), m_services.boxes,
            [this](const QString &rawPath, std::function<void()> made) {
                makeWorkbookFromJournal(rawPath, std::move(made));
            },
            this);
        m_runs->setAttribute(Qt::WA_DeleteOnClose);
        if (m_services.archive)
            m_runs->setArchiveState(m_services.archive);
    }
    m_runs->show();
    m_runs->raise();
    m_runs->activateWindow();
}

void frmMain::makeWorkbookFromJournal(const QString &rawPath, std::function<void()> made)
{
    // Told from the event loop: a caller that makes the next workbook then
    // finds this one's maker no longer at work.
    auto tellMade = [this, made] {
        if (made)
            QTimer::singleShot(0, this, made);
    };
    if (m_busy) {
        // The window takes no clicks then; only a window of its own can ask.
        qCInfo(lcApp).noquote() << "Not made while the user macro runs:" << rawPath;
        tellMade();
        return;
    }
    if (m_run->state() != RunState::Stopped) {
        m_services.boxes.show("A workbook is made from a run's journal when no run is under way. Press Stop first.",
                              "Halvern");
        tellMade();
        return;
    }
    // Its own rebuild, with the macro chosen now: the run is not involved.
    const MacroSettings macro = m_macro;
    m_maker = std::make_unique<JournalWorkbookMaker>(
        m_services.spreadsheets, m_services.boxes, m_services.programFolder,
        WorkbookHooks{[] { return DocumentsFolder::find(); },
                      [this](qint64 done, qint64 total) { showProgress(done, total); },
                      [this, macro](SpreadsheetApp &app, MacroCall::Done done) {
                          StopMacro::start(app, macro, *this, std::move(done), true);
                      },
                      [this](const QString &text, int seconds) { showWaiting(text, seconds); }});
    m_making = true;
    RunWorkbook::make(*m_maker, rawPath, [this, tellMade](bool) {
        m_making = false;
        if (m_busy)
            setBusy(false);
        tellMade();
    });
    if (m_making) // the macro runs on
        setBusy(true);
}

void frmMain::offerUnfinishedRuns()
{
    const QList<RunCatalog::Run> runs = UnfinishedRuns::find(journalFolder());
    switch (UnfinishedRuns::offer(m_services.boxes, runs)) {
    case UnfinishedRuns::Answer::None:
        break;
    case UnfinishedRuns::Answer::MakeOne:
        makeWorkbookFromJournal(runs[0].rawPath);
        break;
    case UnfinishedRuns::Answer::ShowAll: {
        mnuToolsRuns_Click();
        QStringList paths;
        for (const RunCatalog::Run &run : runs)
            paths.append(run.rawPath);
        m_runs->selectRuns(paths);
        break;
    }
    case UnfinishedRuns::Answer::Declined:
        for (const RunCatalog::Run &run : runs)
            UnfinishedRuns::markNotSaved(run);
        break;
    }
}
