#include "DownloadSession.h"

#include "DownloadView.h"
#include "FirmwareText.h"
#include "FolderLookup.h"
#include "ItemReader.h"
#include "KeyChain.h"
#include "MessageBoxes.h"
#include "NumberReader.h"
#include "SerialComm.h"
#include "WaitClock.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace {
const QByteArray kFileEndMarker = "word 0000000 rec 000001";
const QByteArray kPrompt = ":LST:01";

// Runs a step whose failure is ignored (the next step runs all the same).
template <class Step> void tolerate(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

bool hasPrompt(const QByteArray &received) { return FirmwareText::indexOf(received, kPrompt) >= 1; }

// A step of the session that failed for a reason of its own.
struct SessionFault {};
} // namespace

DownloadSession::DownloadSession(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view,
                                 QString programFolder)
    : MSComm1(port), m_boxes(boxes), m_clock(clock), m_view(view), m_programFolder(std::move(programFolder)),
      m_transfer(port, boxes, clock, view, m_log, m_programFolder + "/Firmware")
{
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
    sLogSubFolder = "/" + QString::fromLatin1(items.value(2)) + "/" + QString::fromLatin1(items.value(1));
    return true;
}

QString DownloadSession::firmwarePath(const QString &name) const { return m_transfer.firmwareFolder() + "/" + name; }

// Size of a firmware file, 0 when it is absent or cannot be read.
qint64 DownloadSession::sizeOf(const QString &name) const
{
    const QFileInfo info(firmwarePath(name));
    return info.isFile() && info.isReadable() ? info.size() : 0;
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

bool DownloadSession::loaderIsUpToDate(const QByteArray &sLoaderVersion, const QByteArray &sLfVersion)
{
    return sLfVersion.isEmpty() || sLoaderVersion >= sLfVersion;
}

bool DownloadSession::cmdCancel_Click()
{
    if (!bInSession)
        return true;
    m_view.setPleaseBePatientVisible(true);
    bCancelRequested = true;
    ++m_cancelClicks;
    return false;
}

void DownloadSession::run()
{
    bCancelRequested = false;
    bInSession = false;
    m_settingsSaved = false;
    m_cancelClicks = 0;
    vHoldPacket.clear();
    sLfVersion.clear();
    m_lfLength = 0;
    sLoaderVersion.clear();
    m_transfer.sReceived.clear();
    m_transfer.vLastPacket.clear();
    m_transfer.lTotalBytes = 0;
    m_transfer.lBytesDone = 0;
    m_transfer.bUnrecognized = false;
    m_log.close();

    if (!readHoldPacket() || !readLoaderHeader())
        return;
    sumFileSizes();

    QString request;
    try {
        iWasOK = 0;
        request = estimateText(m_transfer.lTotalBytes);
        iWasOK = 10;
        iWasOK = 15;
        request += "\r\nClick OK to begin the update.";
    } catch (...) {
        programError(iWasOK);
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

bool DownloadSession::readHoldPacket()
{
    const QString path = firmwarePath("hold.ldf");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_boxes.show("When opening file: " + path + ", got Error: " + file.errorString(),
                     "File OPEN Error #: " + QString::number(int(file.error())));
        return false;
    }
    ItemReader reader(&file);
    bool found = false;
    while (!found && !reader.atEnd()) {
        const QByteArray item = FirmwareText::StripLeadingBlanks(reader.next());
        if (reader.readError())
            break;
        if (FirmwareText::kindOf(item) != FirmwareText::ItemKind::Packet)
            continue;
        vHoldPacket = FirmwareText::ByteArrayOf(QByteArrayView(item).sliced(4), m_boxes);
        // A packet item without any byte is passed over like any other item.
        found = !vHoldPacket.isEmpty();
    }
    if (reader.readError()) {
        m_boxes.show("When opening file: " + path + ", got Error: " + file.errorString(),
                     "File OPEN Error #: " + QString::number(int(file.error())));
        return false;
    }
    file.close();
    if (!found) {
        m_boxes.show("No byte stream definition found in file: " + path, "File CONTENTS error:");
        return false;
    }
    return true;
}

bool DownloadSession::readLoaderHeader()
{
    QFile file(firmwarePath("lf.ldf"));
    if (!file.open(QIODevice::ReadOnly))
        return true; // no loader file: nothing to compare, nothing to send
    ItemReader reader(&file);
    while (!reader.atEnd()) {
        QByteArray item = FirmwareText::StripLeadingBlanks(reader.next());
        if (reader.readError() || item.isEmpty()) {
            if (reader.readError())
                break;
            continue;
        }
        if (item.startsWith(';')) {
            const QByteArray comment = FirmwareText::StripLeadingBlanks(QByteArrayView(item).sliced(1));
            if (FirmwareText::startsWith(comment, "version")) {
                sLfVersion = FirmwareText::StripLeadingBlanks(QByteArrayView(comment).sliced(7));
                break;
            }
            continue;
        }
        if (item.startsWith(':'))
            continue;
        break; // the header ends at the first data item
    }
    m_lfLength = file.size();
    file.close();
    if (sLfVersion.isEmpty()) {
        m_boxes.show("The file does not have a version header.", "Error in file: lf.ldf");
        return false;
    }
    return true;
}

void DownloadSession::sumFileSizes()
{
    m_transfer.lTotalBytes = 0;
    for (const char *name : {"fc", "lf", "ff", "af"}) {
        const qint64 sum = m_transfer.lTotalBytes + sizeOf(QString(name) + ".ldf");
        // A sum beyond 32 bits is an overflow: that size is left out.
        if (sum <= INT32_MAX)
            m_transfer.lTotalBytes = sum;
    }
}

bool DownloadSession::openLog()
{
    iWasOK = 20;
    QString folder;
    if (!GetFolderPath(CSIDL_COMMON_APPDATA, folder, m_boxes))
        return false;
    folder += sLogSubFolder;
    iWasOK = 21;
    const QString path = folder + "/DownloadLog.txt";
    iWasOK = 22;
    bool existed = false;
    bool ok = m_log.open(path, &existed);
    if (ok) {
        iWasOK = 24;
        iWasOK = existed ? 28 : 26;
        iWasOK = 29;
        ok = m_log.writeLine("************ Session started: " + SessionLog::now() + " **************");
    }
    if (ok)
        return true;
    const int number = m_log.errorNumber();
    const QString description = m_log.errorString();
    m_log.close();
    m_boxes.show("When opening download logfile, got the Error: " + description + "\r\n"
                     + "You may need privileges as administrator to access this file.",
                 "File operation Error #: " + QString::number(number) + ", iWasOK =" + FirmwareText::marker(iWasOK));
    return false;
}

bool DownloadSession::takePort()
{
    bool opened = false;
    try {
        iWasOK = 30;
        MSComm1.setPortOpen(true);
        opened = true;
        m_savedSettings = MSComm1.settings();
        iWasOK = 32;
        MSComm1.setSettings(QString::fromLatin1(kLineSettings));
        m_savedInputLen = MSComm1.inputLen();
        iWasOK = 34;
        MSComm1.setInputLen(0);
        m_savedInputMode = MSComm1.inputMode();
        iWasOK = 36;
        MSComm1.setInputMode(0);
        MSComm1.setInBufferCount(0);
        iWasOK = 38;
        m_settingsSaved = true;
        return true;
    } catch (const CommError &error) {
        const QString m = "When configuring COM port: " + FirmwareText::marker(MSComm1.commPort()) + ", got Error: "
                          + error.description();
        m_log.writeLine(m);
        m_log.close();
        // A port this session opened is not left open behind the main
        // window's back: it would block the next acquisition and update.
        if (opened) {
            tolerate([&] { MSComm1.setSettings(m_savedSettings); });
            tolerate([&] { MSComm1.setPortOpen(false); });
        }
        m_boxes.show(m, "COM port configuration error #: " + QString::number(error.number()));
        return false;
    }
}

DownloadSession::Outcome DownloadSession::talkToLoader()
{
    QByteArray &sReceived = m_transfer.sReceived;
    try {
        // Loader wait: the user switches the instrument off and on.
        bInSession = true;
        sReceived.clear();
        m_view.setPleasePowerCycleVisible(true);
        for (;;) {
            iWasOK = 40;
            m_clock.WaitSeconds(0.2f);
            if (bCancelRequested) {
                cancelledPath();
                return Outcome::EndPath;
            }
            if (MSComm1.inBufferCount() != 0) {
                iWasOK = 45;
                sReceived += MSComm1.input();
                if (hasPrompt(sReceived))
                    break;
            }
        }

        // Announcement: "... loader ... :V<version> ... :OK ..."
        iWasOK = 47;
        m_view.setPleasePowerCycleVisible(false);
        const qsizetype ok = FirmwareText::indexOf(sReceived, ":OK");
        if (ok < 0)
            throw SessionFault{};
        const QByteArray head = sReceived.first(ok);
        const qsizetype loader = FirmwareText::indexOf(head, "loader");
        const qsizetype version = loader < 0 ? -1 : FirmwareText::indexOf(head, ":V", loader + 6);
        if (version < 0) {
            m_boxes.show("Cannot recognize version of loader.", "Download abandoned because of ERROR:");
            return Outcome::EndPath;
        }

        // Hold: the loader keeps still until the files come.
        m_clock.WaitSeconds(0.1f);
        m_log.writeLine(sReceived);
        sendHold();
        QByteArray announced = FirmwareText::StripLeadingBlanks(QByteArrayView(head).sliced(version + 2));
        for (char separator : {' ', '\t'}) {
            const qsizetype cut = announced.indexOf(separator);
            if (cut >= 0)
                announced.truncate(cut);
        }
        sLoaderVersion = announced;

        m_transfer.lBytesDone = 0;
        m_view.setProgress(0);
        m_view.setProgressVisible(true);
        m_view.setDownloadingVisible(true);
        m_transfer.bUnrecognized = false;
        if (bCancelRequested) {
            cancelledPath();
            return Outcome::EndPath;
        }
    } catch (...) {
        programError(iWasOK);
        return Outcome::Done;
    }
    sendFiles();
    return Outcome::EndPath;
}

void DownloadSession::sendHold()
{
    MSComm1.setInBufferCount(0);
    m_transfer.sReceived.clear();
    MSComm1.output(vHoldPacket);
    m_transfer.vLastPacket = vHoldPacket;
}

// Steps from the first file on: a failure of the window's own calls is
// ignored; the transfers handle theirs and end the session when they fail.
void DownloadSession::sendFiles()
{
    if (sizeOf("fc.ldf") != 0 && !m_transfer.DownloadDataFile("fc.ldf", "TERM"))
        return;

    if (loaderIsUpToDate(sLoaderVersion, sLfVersion)) {
        m_transfer.lBytesDone += m_lfLength;
    } else {
        if (bCancelRequested) {
            cancelledPath();
            return;
        }
        tolerate([&] { sendHold(); });
        if (!m_transfer.DownloadDataFile("lf.ldf", kFileEndMarker))
            return;
    }

    for (const char *name : {"ff.ldf", "af.ldf"}) {
        if (bCancelRequested) {
            cancelledPath();
            return;
        }
        tolerate([&] { sendHold(); });
        if (sizeOf(name) != 0 && !m_transfer.DownloadDataFile(name, kFileEndMarker))
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
    QByteArray &sReceived = m_transfer.sReceived;
    m_view.setProgressVisible(false);
    m_view.setPleaseBePatientVisible(false);
    m_view.setDownloadingVisible(false);
    m_clock.WaitSeconds(2.0f);

    // The second power cycle starts the instrument's new firmware. Without an
    // instrument nothing would ever answer: a second Cancel click (the first
    // shows lblPleaseBePatient) ends the wait.
    m_view.setPleasePowerCycleVisible(true);
    tolerate([&] { MSComm1.setInBufferCount(0); });
    sReceived.clear();
    const int clicksBefore = m_cancelClicks;
    while (m_cancelClicks - clicksBefore < 2) {
        m_clock.WaitSeconds(0.2f);
        bool prompted = false;
        tolerate([&] {
            if (MSComm1.inBufferCount() != 0) {
                sReceived += MSComm1.input();
                prompted = hasPrompt(sReceived);
            }
        });
        if (prompted)
            break;
    }

    restorePort();
    bInSession = false;
    m_log.writeLine("************ Session ended: " + SessionLog::now() + " **************");
    m_log.close();
    if (m_transfer.bUnrecognized)
        m_boxes.show("Unrecognized text was found while updating.  Please see the DownloadLog.txt file for details.",
                     "Unexpected input from file:");
}

void DownloadSession::restorePort()
{
    tolerate([&] { MSComm1.setSettings(m_savedSettings); });
    tolerate([&] { MSComm1.setInputLen(m_savedInputLen); });
    tolerate([&] { MSComm1.setInputMode(m_savedInputMode); });
    tolerate([&] { MSComm1.setInBufferCount(0); });
    tolerate([&] { MSComm1.setPortOpen(false); });
    m_settingsSaved = false;
}

void DownloadSession::programError(int marker)
{
    if (m_log.isOpen()) {
        m_log.writeLine("************ Program Error in frmDownload:Activate.  iWasOK =" + FirmwareText::marker(marker)
                        + " **************");
        m_log.close();
    }
    if (m_settingsSaved)
        restorePort();
    bInSession = false;
    m_boxes.show("iWasOK =" + FirmwareText::marker(marker), "Program Error in frmDownload:Activate");
}
