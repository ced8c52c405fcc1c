#include "frmMain.h"

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace {
QColor lampColour(Lamp lamp, const QColor &frame)
{
    switch (lamp) {
    case Lamp::Green:
        return QColor(0, 255, 0);
    case Lamp::Yellow:
        return QColor(255, 255, 0);
    case Lamp::Red:
        return QColor(255, 0, 0);
    case Lamp::Frame:
        break;
    }
    return frame;
}
} // namespace

// The main window as the run sees it (AcquisitionView): lamps, buttons, notices,
// the long save and the macro under way, the replay's progress.

void frmMain::setLamp(QFrame *lamp, Lamp colour)
{
    QPalette pal = lamp->palette();
    pal.setColor(QPalette::Window, lampColour(colour, fraStatus->palette().color(QPalette::Window)));
    lamp->setPalette(pal);
    lamp->repaint();
}

void frmMain::setComPortLamp(Lamp lamp) { setLamp(panComPort, lamp); }
void frmMain::setComPortTip(const QString &text) { panComPort->setToolTip(text); }
void frmMain::setSpreadsheetLamp(Lamp lamp) { setLamp(panExcel, lamp); }

void frmMain::setStatusText(const QString &text)
{
    panStatus->setText(text);
    panStatus->repaint();
}

void frmMain::setSpreadsheetLampTip(const QString &text) { panExcel->setToolTip(text); }

void frmMain::setStartEnabled(bool enabled) { cmdStart->setEnabled(enabled); }
void frmMain::setStopEnabled(bool enabled) { cmdStop->setEnabled(enabled); }
void frmMain::setPauseEnabled(bool enabled) { cmdPause->setEnabled(enabled); }
void frmMain::setResumeEnabled(bool enabled) { cmdResume->setEnabled(enabled); }

void frmMain::setPauseInFront(bool pauseInFront)
{
    if (pauseInFront)
        cmdPause->raise();
    else
        cmdResume->raise();
}

bool frmMain::pauseInFront() const
{
    const QObjectList &kids = cmdPause->parentWidget()->children();
    return kids.indexOf(cmdPause) > kids.indexOf(cmdResume);
}

void frmMain::setComPortsEnabled(bool enabled) { cmdComPorts->setEnabled(enabled); }
void frmMain::setUtilitiesMenuVisible(bool visible) { mnuUtilities->menuAction()->setVisible(visible); }

void frmMain::setTimerEnabled(bool enabled)
{
    if (enabled)
        tmrMain->start();
    else
        tmrMain->stop();
}

void frmMain::bringToFront()
{
    show();
    raise();
    activateWindow();
}

void frmMain::showNotice(const QString &text)
{
    if (!m_notice) {
        m_notice = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Halvern"), text, QMessageBox::Ok, this);
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
        m_notice->setWindowModality(Qt::NonModal);
        m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    m_notice->setText(text);
    m_notice->show();
}

void frmMain::showWaiting(const QString &text, int seconds)
{
    if (text.isEmpty()) {
        delete m_waiting;
        return;
    }
    if (!m_waiting) {
        m_waiting = new QProgressDialog(QString(), QString(), 0, 0, this); // no end known: a busy bar
        m_waiting->setWindowTitle(windowTitle());
        m_waiting->setMinimumDuration(0);
        m_waiting->setWindowModality(Qt::WindowModal);
    }
    m_waiting->setLabelText(QStringLiteral("%1 (%2 s)").arg(text).arg(seconds));
    m_waiting->setValue(0); // lets the window repaint
}

void frmMain::showMacroRunning(const QString &macro, const std::function<void()> &cancel)
{
    delete m_macroRunning;
    if (macro.isEmpty())
        return;
    // Window-modal: the main window takes no clicks and cannot be closed
    // while the macro runs, but it repaints. Cancel only where the macro may
    // be stopped (a rebuild, with no window of its own to answer it in).
    m_macroRunning = new QProgressDialog(
        QStringLiteral("Running the macro %1.\nIt may be waiting for you in the spreadsheet.").arg(macro),
        cancel ? QStringLiteral("Cancel") : QString(), 0, 0, this);
    m_macroRunning->setWindowTitle(windowTitle());
    m_macroRunning->setWindowModality(Qt::WindowModal);
    m_macroRunning->setMinimumDuration(0);
    m_macroRunning->setAutoClose(false);
    m_macroRunning->setAutoReset(false);
    if (cancel)
        connect(m_macroRunning, &QProgressDialog::canceled, this, [cancel] { cancel(); });
    m_macroRunning->setValue(0);
    m_macroRunning->show();
}

void frmMain::setBusy(bool busy)
{
    // Instead of a wait that takes no input: the window repaints, and its
    // buttons and menus take no clicks until the work is over.
    m_busy = busy;
    centralWidget()->setEnabled(!busy);
    menuBar()->setEnabled(!busy);
    if (!busy && m_closeWhenIdle)
        QTimer::singleShot(0, this, &QWidget::close); // once the work's calls have returned
}

void frmMain::showProgress(qint64 done, qint64 total)
{
    if (total <= 0) {
        delete m_progress;
        return;
    }
    if (!m_progress) {
        m_progress = new QProgressDialog(QStringLiteral("Rebuilding the workbook from the run's journal..."), QString(),
                                         0, 1000, this);
        m_progress->setWindowTitle(windowTitle());
        m_progress->setMinimumDuration(500);
        m_progress->setWindowModality(Qt::WindowModal);
    }
    m_progress->setValue(static_cast<int>(done * 1000 / total));
}
