#include "frmDownload.h"

#include "DownloadSession.h"
#include "EventLoopClock.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace {
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int left, int top, int width, int height,
                  double points, Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(twips(left), twips(top), twips(width), twips(height));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    label->setFont(font);
    label->setWordWrap(true);
    label->setAlignment(alignment | Qt::AlignTop);
    label->hide();
    return label;
}
} // namespace

frmDownload::frmDownload(SerialComm &MSComm1, MessageBoxes &boxes, QString programFolder, QWidget *mainWindow,
                         WaitClock *clock)
    : QDialog(mainWindow), m_mainWindow(mainWindow)
{
    if (!clock) {
        m_ownClock = std::make_unique<EventLoopClock>();
        clock = m_ownClock.get();
    }
    m_session = std::make_unique<DownloadSession>(MSComm1, boxes, *clock, *this, std::move(programFolder));
    setObjectName("frmDownload");
    setModal(true);
    buildControls();
}

frmDownload::~frmDownload() = default;

void frmDownload::buildControls()
{
    setWindowTitle("Update firmware");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(5010), twips(3975));

    lblPleaseBePatient = makeLabel(this, "lblPleaseBePatient",
                                   "A partially-loaded file can render your instrument useless.  This update involves "
                                   "multiple files;  your CANCEL request will be honored at the completion of the "
                                   "current file.",
                                   120, 240, 4695, 1215, 12, Qt::AlignLeft);
    lblDownloading = makeLabel(this, "lblDownloading", "Updating...", 1680, 1560, 1335, 375, 13.5, Qt::AlignLeft);
    // One line of text. The fonts standing in for the design's bitmap font
    // are wider, so the label grows to the right until the text fits.
    lblDownloading->setWordWrap(false);
    lblDownloading->resize(std::max(lblDownloading->width(), lblDownloading->sizeHint().width()),
                           lblDownloading->height());
    lblSuccess =
        makeLabel(this, "lblSuccess", "The update completed successfully.", 360, 2040, 4215, 375, 12, Qt::AlignHCenter);
    lblPleasePowerCycle = makeLabel(this, "lblPleasePowerCycle", "Please turn the instrument OFF, then ON again.", 600,
                                    2520, 3855, 615, 12, Qt::AlignHCenter);

    prgPercentLoaded = new QProgressBar(this);
    prgPercentLoaded->setObjectName("prgPercentLoaded");
    prgPercentLoaded->setRange(0, 100);
    prgPercentLoaded->setValue(0);
    prgPercentLoaded->setToolTip("Fraction of the file which has already been downloaded");
    prgPercentLoaded->setGeometry(twips(120), twips(3000), twips(4815), twips(255));
    prgPercentLoaded->hide();

    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setGeometry(twips(3720), twips(3480), twips(1215), twips(375));
    connect(cmdCancel, &QPushButton::clicked, this, &frmDownload::cmdCancel_Click);
}

void frmDownload::ShowForm()
{
    if (!m_session->load())
        return;
    if (m_mainWindow)
        move(m_mainWindow->pos());
    for (QWidget *w : {static_cast<QWidget *>(lblPleaseBePatient), static_cast<QWidget *>(lblDownloading),
                       static_cast<QWidget *>(lblSuccess), static_cast<QWidget *>(lblPleasePowerCycle),
                       static_cast<QWidget *>(prgPercentLoaded)})
        w->hide();
    prgPercentLoaded->setValue(0);
    m_activated = false;
    m_programClose = false;
    exec();
}

void frmDownload::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The session runs once per opening, as soon as the window is on screen.
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &frmDownload::Form_Activate);
    }
}

void frmDownload::Form_Activate()
{
    m_session->run();
    // The session is over: the Cancel handler now closes the window.
    cmdCancel_Click();
}

void frmDownload::cmdCancel_Click()
{
    if (m_session->requestCancel())
        closeFromProgram();
}

void frmDownload::closeFromProgram()
{
    if (!isVisible())
        return;
    m_programClose = true;
    done(QDialog::Rejected);
}

void frmDownload::closeEvent(QCloseEvent *event)
{
    if (m_programClose) {
        QDialog::closeEvent(event);
        return;
    }
    // The title bar's close box is refused and acts as Cancel.
    event->ignore();
    cmdCancel_Click();
}

// Esc acts as the Cancel button.
void frmDownload::reject()
{
    if (m_programClose) {
        QDialog::reject();
        return;
    }
    cmdCancel_Click();
}

void frmDownload::setPleaseBePatientVisible(bool visible) { lblPleaseBePatient->setVisible(visible); }
void frmDownload::setDownloadingVisible(bool visible) { lblDownloading->setVisible(visible); }
void frmDownload::setSuccessVisible(bool visible) { lblSuccess->setVisible(visible); }
void frmDownload::setPleasePowerCycleVisible(bool visible) { lblPleasePowerCycle->setVisible(visible); }
void frmDownload::setProgressVisible(bool visible) { prgPercentLoaded->setVisible(visible); }
void frmDownload::setProgress(int percent) { prgPercentLoaded->setValue(percent); }
