#include "FirmwareTransfer.h"

#include "DownloadView.h"
#include "FirmwareText.h"
#include "ItemReader.h"
#include "MessageBoxes.h"
#include "NumberReader.h"
#include "SerialComm.h"
#include "SessionLog.h"
#include "WaitClock.h"

#include <QFile>
#include <cstdint>

namespace {
const QString kAbandonedTitle = QStringLiteral("Updating abandoned, due to ERROR:");

// A failure that is not the loader's: the file, or a counter out of range.
struct TransferFault {};

QString asText(const QByteArray &bytes) { return QString::fromLatin1(bytes); }

// ":LST:01" counts only as the first occurrence and not at the first character.
bool hasPrompt(const QByteArray &received) { return FirmwareText::indexOf(received, ":LST:01") >= 1; }
} // namespace

FirmwareTransfer::FirmwareTransfer(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view,
                                   SessionLog &log, QString firmwareFolder)
    : m_port(port), m_boxes(boxes), m_clock(clock), m_view(view), m_log(log),
      m_firmwareFolder(std::move(firmwareFolder))
{
}

bool FirmwareTransfer::DownloadDataFile(const QString &fileName, const QByteArray &endMarker)
{
    int iWasOK = 0;
    try {
        const qint64 start = lBytesDone;
        bool retried = false;
        qsizetype p = -1;

        iWasOK = 5;
        QFile file(m_firmwareFolder + "/" + fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw TransferFault{};
        iWasOK = 7;
        m_log.writeLine("********* File: " + fileName + " started at: " + SessionLog::now());

        ItemReader reader(&file);
        for (;;) {
            iWasOK = 10;
            if (reader.atEnd())
                break;
            QByteArray item = reader.next();
            if (reader.readError())
                throw TransferFault{};
            iWasOK = 15;
            item = FirmwareText::StripLeadingBlanks(item);
            const FirmwareText::ItemKind kind = FirmwareText::kindOf(item);
            if (kind == FirmwareText::ItemKind::Empty)
                continue;
            iWasOK = 20;
            if (kind == FirmwareText::ItemKind::Record)
                continue;
            if (kind == FirmwareText::ItemKind::Comment) {
                m_log.writeLine(item);
                continue;
            }
            iWasOK = 25;
            if (kind == FirmwareText::ItemKind::Unrecognized) {
                logUnrecognized(item);
                continue;
            }
            iWasOK = 30;
            const QByteArray packet = FirmwareText::ByteArrayOf(QByteArrayView(item).sliced(4), m_boxes);
            if (packet.isEmpty()) {
                // "send" with no number, or a list ByteArrayOf refused: there
                // is nothing sensible to send, so the item counts as unrecognized.
                logUnrecognized(item);
                continue;
            }
            retried = false;

            // Acknowledgement of the previous packet (or of the hold packet).
            for (;;) {
                sReceived += m_port.input();
                iWasOK = 35;
                // Text ending in "." means the loader is still busy: look again
                // once more text has come.
                if (!sReceived.endsWith('.')) {
                    iWasOK = 40;
                    if (FirmwareText::contains(sReceived, ":!!")) {
                        iWasOK = 45;
                        if (!resendOrGiveUp(retried, iWasOK))
                            return false;
                    } else {
                        iWasOK = 50;
                        p = FirmwareText::indexOf(sReceived, ":OK :");
                        if (p >= 0)
                            break;
                    }
                }
                const qint64 quietSince = m_clock.elapsedMs();
                for (;;) {
                    iWasOK = 55;
                    if (m_port.inBufferCount() != 0)
                        break;
                    m_clock.pause();
                    if (m_clock.elapsedMs() - quietSince > kSilenceLimitMs) {
                        noResponse(iWasOK);
                        return false;
                    }
                }
            }

            iWasOK = 62;
            // The text before ":OK :", its first colon included.
            if (FirmwareText::contains(QByteArrayView(sReceived).first(p + 1), endMarker))
                break;

            // The prompt that releases the next packet.
            const qint64 okSince = m_clock.elapsedMs();
            for (;;) {
                iWasOK = 65;
                sReceived += m_port.input();
                if (hasPrompt(sReceived))
                    break;
                m_clock.pause();
                if (m_clock.elapsedMs() - okSince > kSilenceLimitMs) {
                    noResponse(iWasOK);
                    return false;
                }
            }

            iWasOK = 70;
            m_port.setInBufferCount(0);
            sReceived.clear();
            m_port.output(packet);
            vLastPacket = packet;

            iWasOK = 75;
            showProgress(start, reader.position());
            iWasOK = 80;
        }

        file.close();
        iWasOK = 85;
        retried = false;

        // Final acknowledgement: the loader says whether the file was whole.
        for (;;) {
            sReceived += m_port.input();
            iWasOK = 90;
            if (FirmwareText::contains(sReceived, ":!!")) {
                iWasOK = 92;
                if (!resendOrGiveUp(retried, iWasOK))
                    return false;
            } else {
                p = FirmwareText::indexOf(sReceived, ":OK :");
                if (p >= 0)
                    break;
            }
            bool arrived = false;
            for (int poll = 0; poll < kFinalPolls && !arrived; ++poll) {
                iWasOK = 95;
                arrived = m_port.inBufferCount() != 0;
                if (!arrived)
                    m_clock.WaitSeconds(0.1f);
            }
            if (!arrived) {
                noResponse(iWasOK);
                return false;
            }
        }

        iWasOK = 99;
        m_log.writeLine(sReceived);
        if (FirmwareText::contains(QByteArrayView(sReceived).first(p + 1), endMarker)) {
            m_log.writeLine("********* File completed successfully at: " + SessionLog::now());
            return true;
        }
        m_log.writeLine(QByteArray("********Loading failure; file incorrect or incomplete**********"));
        m_boxes.show("Update failure; file incorrect or incomplete.  Loader's response text: " + asText(sReceived),
                     kAbandonedTitle);
        return false;
    } catch (...) {
        // CommError from the port, a file that cannot be read, a counter out of range.
        programError(iWasOK);
        return false;
    }
}

bool FirmwareTransfer::resendOrGiveUp(bool &retried, int iWasOK)
{
    if (retried) {
        retransmissionFailure(iWasOK);
        return false;
    }
    m_log.writeLine(sReceived);
    m_log.writeLine("*********** Re-Transmission in response.  iWasOK =" + FirmwareText::marker(iWasOK)
                    + " *************");
    m_clock.WaitSeconds(0.1f);
    m_port.setInBufferCount(0);
    sReceived.clear();
    m_port.output(vLastPacket);
    retried = true;
    return true;
}

void FirmwareTransfer::noResponse(int iWasOK)
{
    m_log.writeLine(sReceived);
    m_log.writeLine("********Cannot recognize response from the loader. iWasOK =" + FirmwareText::marker(iWasOK)
                    + " ********");
    m_boxes.show("Cannot recognize response from the loader.  Incoming text is: " + asText(sReceived),
                 "Updating abandoned, due to ERROR. iWasOK =" + FirmwareText::marker(iWasOK));
}

void FirmwareTransfer::retransmissionFailure(int iWasOK)
{
    m_log.writeLine(sReceived);
    m_log.writeLine("********Retransmission did not cure problems with this packet. iWasOK ="
                    + FirmwareText::marker(iWasOK) + " ********");
    m_boxes.show("Retransmission did not cure problems with this packet.", kAbandonedTitle);
}

void FirmwareTransfer::programError(int iWasOK)
{
    m_log.writeLine("********Program Error while downloading. iWasOK =" + FirmwareText::marker(iWasOK) + " ********");
    m_boxes.show("iWasOK =" + FirmwareText::marker(iWasOK), "Program Error in frmDownload:DownloadDataFile");
}

void FirmwareTransfer::logUnrecognized(const QByteArray &item)
{
    m_log.writeLine(item);
    m_log.writeLine(QByteArray("************ the previous (input) line was unrecognized ******************"));
    bUnrecognized = true;
}

void FirmwareTransfer::showProgress(qint64 start, qint64 position)
{
    // The file's read position counts from 1, as the next byte to read.
    const qint64 done = start + position + 1;
    if (done > INT32_MAX)
        throw TransferFault{};
    lBytesDone = done;
    int percent = 100;
    if (lTotalBytes > 0) {
        const double exact = NumberReader::roundHalfEven(double(lBytesDone) / double(lTotalBytes) * 100.0);
        if (exact < 100.0)
            percent = static_cast<int>(exact);
    }
    m_view.setProgress(percent);
    m_clock.processEvents();
}
