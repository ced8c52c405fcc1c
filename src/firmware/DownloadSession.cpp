#include "DownloadSession.h"

#include "CaughtException.h"
#include "DownloadView.h"
#include "FirmwareText.h"
#include "FolderLookup.h"
#include "KeyChain.h"
#include "LogCategories.h"
#include "MessageBoxes.h"
#include "NumberReader.h"
#include "SerialComm.h"
#include "WaitClock.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace {
const QByteArray kFileEndMarker = "word 0000000 rec 000001";

// Runs a step whose failure is ignored (the next step runs all the same).
template <class Step>
void tolerate(Step step)
{
    try {
        step();
    } catch (...) {
        qCWarning(lcFirmware).noquote() << "A step of the update failed and is passed over:"
                                        << CaughtException::reason();
    }
}

// A step of the session that failed for a reason of its own.
struct SessionFault {};
} // namespace

DownloadSession::DownloadSession(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view,
                                 QString programFolder)
    : m_port(port),
      m_boxes(boxes),
      m_clock(clock),
      m_view(view),
      m_programFolder(std::move(programFolder)),
      m_transfer(port, boxes, clock, view, m_log, m_programFolder + "/Firmware")
{
    m_transfer.setStopRequest([this] { return m_cancelClicks - m_clicksAtTransferStart >= kClicksToStopAWait; });
}

bool DownloadSession::load()
{
    const QString path = KeyChain::path(m_programFolder);
    QList<QByteArray> items;
    QString message;
    if (!KeyChain::readItems(path, 3, &items))
        message = "Cannot open KeyChain file: " + path;
    else if (items.value(1).isEmpty() || items.value(2).isEmpty())
        message = QStringLiteral("KeyChain file does not contain the company and product name.");
    if (!message.isEmpty()) {
        m_boxes.show(message, "Firmware cannot be updated.");
        return false;
    }
    m_logSubFolder = "/" + QString::fromLatin1(items.value(2)) + "/" + QString::fromLatin1(items.value(1));
    return true;
}

QString DownloadSession::estimateText(qint64 totalBytes)
{
    const auto seconds = NumberReader::toInt16(double(totalBytes) / 6379.0);
    if (!seconds)
        throw std::overflow_error("estimate");
    const int minutes = *seconds / 60 + 1;
    if (minutes >= 2)
        return "This update will take less than " + QString::number(minutes) + " minutes.";
    return QStringLiteral("This update will take less than a minute.");
}

bool DownloadSession::loaderIsUpToDate(const QByteArray &loaderVersion, const QByteArray &lfVersion)
{
    return lfVersion.isEmpty() || loaderVersion >= lfVersion;
}

bool DownloadSession::requestCancel()
{
    if (!m_inSession)
        return true;
    m_view.setPleaseBePatientVisible(true);
    m_cancelRequested = true;
    ++m_cancelClicks;
    return false;
}

void DownloadSession::run()
{
    m_cancelRequested = false;
    m_inSession = false;
    m_settingsSaved = false;
    m_cancelClicks = 0;
    m_clicksAtTransferStart = 0;
    m_holdPacket.clear();
    m_lfVersion.clear();
    m_lfLength = 0;
    m_loaderVersion.clear();
    m_transfer.reset();
    m_log.close();

    if (!readHoldPacket() || !readLoaderHeader())
        return;
    sumFileSizes();

    QString request;
    try {
        m_step = 0;
        request = estimateText(m_transfer.totalBytes());
        m_step = 15;
        request += "\r\nClick OK to begin the update.";
    } catch (...) {
        qCWarning(lcFirmware).noquote() << QStringLiteral("The update's estimate failed at step %1:").arg(m_step)
                                        << CaughtException::reason();
        programError(m_step);
        return;
    }
    if (m_boxes.show(request, "Verify request for update", MessageBoxes::Buttons::OkCancel) != MessageBoxes::Answer::Ok)
        return;

    if (!openLog() || !takePort())
        return;

    switch (talkToLoader()) {
    case Outcome::Done:
        return;
    case Outcome::EndPath:
        endPath();
        return;
    }
}

bool DownloadSession::openLog()
{
    m_step = 20;
    QString folder = SpecialFolder::sharedData();
    if (folder.isEmpty())
        return false;
    folder += m_logSubFolder;
    m_step = 21;
    const QString path = folder + "/DownloadLog.txt";
    m_step = 22;
    bool existed = false;
    bool ok = m_log.open(path, &existed);
    if (ok) {
        m_step = 29;
        ok = m_log.writeLine("************ Session started: " + SessionLog::now() + " **************");
    }
    if (ok)
        return true;
    const int number = m_log.errorNumber();
    const QString description = m_log.errorString();
    m_log.close();
    m_boxes.show("When opening download logfile, got the Error: " + description + "\r\n"
                     + "You may need privileges as administrator to access this file.",
                 "File operation Error #: " + QString::number(number) + ", iWasOK =" + FirmwareText::marker(m_step));
    return false;
}

bool DownloadSession::takePort()
{
    bool opened = false;
    try {
        m_step = 30;
        m_port.setPortOpen(true);
        opened = true;
        m_savedSettings = m_port.settings();
        m_step = 32;
        m_port.setSettings(QString::fromLatin1(kLineSettings));
        m_savedInputLen = m_port.inputLen();
        m_step = 34;
        m_port.setInputLen(0);
        m_savedInputMode = m_port.inputMode();
        m_step = 36;
        m_port.setInputMode(0);
        m_port.setInBufferCount(0);
        m_step = 38;
        m_settingsSaved = true;
        return true;
    } catch (const CommError &error) {
        const QString m = "When configuring COM port: " + FirmwareText::marker(m_port.commPort())
                          + ", got Error: " + error.description();
        qCWarning(lcFirmware).noquote() << m;
        m_log.writeLine(m);
        m_log.close();
        // A port this session opened is not left open behind the main
        // window's back: it would block the next acquisition and update.
        if (opened) {
            tolerate([&] { m_port.setSettings(m_savedSettings); });
            tolerate([&] { m_port.setPortOpen(false); });
        }
        m_boxes.show(m, "COM port configuration error #: " + QString::number(error.number()));
        return false;
    }
}

DownloadSession::Outcome DownloadSession::talkToLoader()
{
    LoaderReply &reply = m_transfer.reply();
    try {
        // Loader wait: the user switches the instrument off and on.
        m_inSession = true;
        reply.clear();
        m_view.setPleasePowerCycleVisible(true);
        for (;;) {
            m_step = 40;
            m_clock.waitSeconds(0.2f);
            if (m_cancelRequested) {
                cancelledPath();
                return Outcome::EndPath;
            }
            if (m_port.inBufferCount() != 0) {
                m_step = 45;
                reply.append(m_port.input());
                if (reply.hasPrompt())
                    break;
            }
        }

        // Announcement: "... loader ... :V<version> ... :OK ..."
        m_step = 47;
        m_view.setPleasePowerCycleVisible(false);
        const QByteArray received = reply.text();
        const qsizetype ok = FirmwareText::indexOf(received, ":OK");
        if (ok < 0)
            throw SessionFault{};
        const QByteArray head = received.first(ok);
        const qsizetype loader = FirmwareText::indexOf(head, "loader");
        const qsizetype version = loader < 0 ? -1 : FirmwareText::indexOf(head, ":V", loader + 6);
        if (version < 0) {
            m_boxes.show("Cannot recognize version of loader.", "Download abandoned because of ERROR:");
            return Outcome::EndPath;
        }

        // Hold: the loader keeps still until the files come.
        m_clock.waitSeconds(0.1f);
        m_log.writeLine(received);
        sendHold();
        QByteArray announced = FirmwareText::stripLeadingBlanks(QByteArrayView(head).sliced(version + 2));
        for (char separator : {' ', '\t'}) {
            const qsizetype cut = announced.indexOf(separator);
            if (cut >= 0)
                announced.truncate(cut);
        }
        m_loaderVersion = announced;

        m_transfer.setBytesDone(0);
        m_view.setProgress(0);
        m_view.setProgressVisible(true);
        m_view.setDownloadingVisible(true);
        m_transfer.setFoundUnrecognized(false);
        if (m_cancelRequested) {
            cancelledPath();
            return Outcome::EndPath;
        }
    } catch (...) {
        qCWarning(lcFirmware).noquote() << QStringLiteral("The update failed at step %1:").arg(m_step)
                                        << CaughtException::reason();
        programError(m_step);
        return Outcome::Done;
    }
    sendFiles();
    return Outcome::EndPath;
}

void DownloadSession::sendHold() { m_transfer.sendPacket(m_holdPacket); }

bool DownloadSession::sendFile(const QString &name, const QByteArray &endMarker)
{
    m_clicksAtTransferStart = m_cancelClicks;
    switch (m_transfer.sendFile(name, endMarker)) {
    case FirmwareTransfer::Result::Done:
        return true;
    case FirmwareTransfer::Result::Cancelled:
        cancelledPath();
        return false;
    case FirmwareTransfer::Result::Failed:
        break;
    }
    return false;
}

// Steps from the first file on: a failure of the window's own calls is
// ignored; the transfers handle theirs and end the session when they fail.
void DownloadSession::sendFiles()
{
    if (sizeOf("fc.ldf") != 0 && !sendFile("fc.ldf", "TERM"))
        return;

    if (loaderIsUpToDate(m_loaderVersion, m_lfVersion)) {
        m_transfer.setBytesDone(m_transfer.bytesDone() + m_lfLength);
    } else {
        if (m_cancelRequested) {
            cancelledPath();
            return;
        }
        tolerate([&] { sendHold(); });
        if (!sendFile("lf.ldf", kFileEndMarker))
            return;
    }

    for (const char *name : {"ff.ldf", "af.ldf"}) {
        if (m_cancelRequested) {
            cancelledPath();
            return;
        }
        tolerate([&] { sendHold(); });
        if (sizeOf(name) != 0 && !sendFile(name, kFileEndMarker))
            return;
    }
    m_view.setSuccessVisible(true);
}

void DownloadSession::cancelledPath()
{
    m_log.writeLine(QByteArray("************ Session ended early; CANCELLED by user **************"));
    m_boxes.show("Update abandoned before completion, by your request.", "Response to CANCEL:");
}

void DownloadSession::endPath()
{
    LoaderReply &reply = m_transfer.reply();
    m_view.setProgressVisible(false);
    m_view.setPleaseBePatientVisible(false);
    m_view.setDownloadingVisible(false);
    m_clock.waitSeconds(2.0f);

    // The second power cycle starts the instrument's new firmware. Without an
    // instrument nothing would ever answer: a second Cancel click (the first
    // shows lblPleaseBePatient) ends the wait.
    m_view.setPleasePowerCycleVisible(true);
    tolerate([&] { m_port.setInBufferCount(0); });
    reply.clear();
    const int clicksBefore = m_cancelClicks;
    while (m_cancelClicks - clicksBefore < 2) {
        m_clock.waitSeconds(0.2f);
        bool prompted = false;
        tolerate([&] {
            if (m_port.inBufferCount() != 0) {
                reply.append(m_port.input());
                prompted = reply.hasPrompt();
            }
        });
        if (prompted)
            break;
    }

    restorePort();
    m_inSession = false;
    m_log.writeLine("************ Session ended: " + SessionLog::now() + " **************");
    m_log.close();
    if (m_transfer.foundUnrecognized())
        m_boxes.show("Unrecognized text was found while updating.  Please see the DownloadLog.txt file for details.",
                     "Unexpected input from file:");
}

void DownloadSession::restorePort()
{
    tolerate([&] { m_port.setSettings(m_savedSettings); });
    tolerate([&] { m_port.setInputLen(m_savedInputLen); });
    tolerate([&] { m_port.setInputMode(m_savedInputMode); });
    tolerate([&] { m_port.setInBufferCount(0); });
    tolerate([&] { m_port.setPortOpen(false); });
    m_settingsSaved = false;
}

void DownloadSession::programError(int step)
{
    if (m_log.isOpen()) {
        m_log.writeLine("************ Program Error in frmDownload:Activate.  iWasOK =" + FirmwareText::marker(step)
                        + " **************");
        m_log.close();
    }
    if (m_settingsSaved)
        restorePort();
    m_inSession = false;
    m_boxes.show("iWasOK =" + FirmwareText::marker(step), "Program Error in frmDownload:Activate");
}
