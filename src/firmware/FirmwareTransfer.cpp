#include "FirmwareTransfer.h"

#include "CaughtException.h"
#include "DownloadView.h"
#include "FirmwareText.h"
#include "ItemReader.h"
#include "LogCategories.h"
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
} // namespace

// `step` is the marker shown as "iWasOK =" when something fails: the number
// of the last step reached.

FirmwareTransfer::FirmwareTransfer(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view,
                                   SessionLog &log, QString firmwareFolder)
    : m_port(port),
      m_boxes(boxes),
      m_clock(clock),
      m_view(view),
      m_log(log),
      m_firmwareFolder(std::move(firmwareFolder))
{
}

void FirmwareTransfer::reset()
{
    m_reply.clear();
    m_lastPacket.clear();
    m_totalBytes = 0;
    m_bytesDone = 0;
    m_unrecognized = false;
}

void FirmwareTransfer::sendPacket(const QByteArray &packet)
{
    m_port.setInBufferCount(0);
    m_reply.clear();
    m_port.output(packet);
    m_lastPacket = packet;
}

void FirmwareTransfer::readInput() { m_reply.append(m_port.input()); }

FirmwareTransfer::Result FirmwareTransfer::sendFile(const QString &fileName, const QByteArray &endMarker)
{
    int step = 0;
    // The outcome of a wait that did not end with the loader's answer.
    auto failedWait = [](Wait wait) { return wait == Wait::Stop ? Result::Cancelled : Result::Failed; };
    try {
        const qint64 start = m_bytesDone;
        bool retried = false;
        m_reply.setEndMarker(endMarker);

        step = 5;
        QFile file(m_firmwareFolder + "/" + fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw TransferFault{};
        step = 7;
        m_log.writeLine("********* File: " + fileName + " started at: " + SessionLog::now());

        ItemReader reader(&file);
        for (;;) {
            step = 10;
            if (reader.atEnd())
                break;
            QByteArray item = reader.next();
            if (reader.readError())
                throw TransferFault{};
            step = 15;
            item = FirmwareText::stripLeadingBlanks(item);
            const FirmwareText::ItemKind kind = FirmwareText::kindOf(item);
            if (kind == FirmwareText::ItemKind::Empty)
                continue;
            step = 20;
            if (kind == FirmwareText::ItemKind::Record)
                continue;
            if (kind == FirmwareText::ItemKind::Comment) {
                m_log.writeLine(item);
                continue;
            }
            step = 25;
            if (kind == FirmwareText::ItemKind::Unrecognized) {
                logUnrecognized(item);
                continue;
            }
            step = 30;
            const QByteArray packet = FirmwareText::byteArrayOf(QByteArrayView(item).sliced(4), m_boxes);
            if (packet.isEmpty()) {
                // "send" with no number, or a list byteArrayOf refused: there
                // is nothing sensible to send, so the item counts as unrecognized.
                logUnrecognized(item);
                continue;
            }
            retried = false;

            // Acknowledgement of the previous packet (or of the hold packet).
            if (const Wait wait = awaitAcknowledgement(retried, step); wait != Wait::Over)
                return failedWait(wait);

            step = 62;
            if (m_reply.endMarkerBeforeOk())
                break;

            // The prompt that releases the next packet.
            if (const Wait wait = awaitPrompt(step); wait != Wait::Over)
                return failedWait(wait);

            step = 70;
            sendPacket(packet);

            step = 75;
            showProgress(start, reader.position());
            step = 80;
        }

        file.close();
        step = 85;
        retried = false;

        // Final acknowledgement: the loader says whether the file was whole.
        if (const Wait wait = awaitFinalAcknowledgement(retried, step); wait != Wait::Over)
            return failedWait(wait);

        step = 99;
        m_log.writeLine(m_reply.text());
        if (m_reply.endMarkerBeforeOk()) {
            m_log.writeLine("********* File completed successfully at: " + SessionLog::now());
            return Result::Done;
        }
        m_log.writeLine(QByteArray("********Loading failure; file incorrect or incomplete**********"));
        m_boxes.show("Update failure; file incorrect or incomplete.  Loader's response text: " + asText(m_reply.text()),
                     kAbandonedTitle);
        return Result::Failed;
    } catch (...) {
        // CommError from the port, a file that cannot be read, a counter out of range.
        qCWarning(lcFirmware).noquote() << QStringLiteral("The transfer failed at step %1:").arg(step)
                                        << CaughtException::reason();
        programError(step);
        return Result::Failed;
    }
}

// Until ":OK :" (or ":!!") is there and the text does not end in "." (the
// loader still busy). Gives up after kSilenceLimitMs without a byte.
FirmwareTransfer::Wait FirmwareTransfer::awaitAcknowledgement(bool &retried, int &step)
{
    for (;;) {
        readInput();
        step = 35;
        if (!m_reply.endsWithDot()) {
            step = 40;
            if (m_reply.hasRejection()) {
                step = 45;
                if (!resendOrGiveUp(retried, step))
                    return Wait::GiveUp;
            } else {
                step = 50;
                if (m_reply.okAt() >= 0)
                    return Wait::Over;
            }
        }
        const qint64 quietSince = m_clock.elapsedMs();
        for (;;) {
            step = 55;
            if (m_port.inBufferCount() != 0)
                break;
            m_clock.pause();
            if (stopRequested()) {
                m_log.writeLine(m_reply.text());
                return Wait::Stop;
            }
            if (m_clock.elapsedMs() - quietSince > kSilenceLimitMs) {
                noResponse(step);
                return Wait::GiveUp;
            }
        }
    }
}

// Until ":LST:01"; kSilenceLimitMs in all.
FirmwareTransfer::Wait FirmwareTransfer::awaitPrompt(int &step)
{
    const qint64 okSince = m_clock.elapsedMs();
    for (;;) {
        step = 65;
        readInput();
        if (m_reply.hasPrompt())
            return Wait::Over;
        m_clock.pause();
        if (stopRequested()) {
            m_log.writeLine(m_reply.text());
            return Wait::Stop;
        }
        if (m_clock.elapsedMs() - okSince > kSilenceLimitMs) {
            noResponse(step);
            return Wait::GiveUp;
        }
    }
}

// Until ":OK :" (or ":!!"); gives up after kFinalPolls polls without a byte.
FirmwareTransfer::Wait FirmwareTransfer::awaitFinalAcknowledgement(bool &retried, int &step)
{
    for (;;) {
        readInput();
        step = 90;
        if (m_reply.hasRejection()) {
            step = 92;
            if (!resendOrGiveUp(retried, step))
                return Wait::GiveUp;
        } else if (m_reply.okAt() >= 0) {
            return Wait::Over;
        }
        bool arrived = false;
        for (int poll = 0; poll < kFinalPolls && !arrived; ++poll) {
            step = 95;
            arrived = m_port.inBufferCount() != 0;
            if (!arrived) {
                m_clock.waitSeconds(0.1f);
                if (stopRequested()) {
                    m_log.writeLine(m_reply.text());
                    return Wait::Stop;
                }
            }
        }
        if (!arrived) {
            noResponse(step);
            return Wait::GiveUp;
        }
    }
}

bool FirmwareTransfer::resendOrGiveUp(bool &retried, int step)
{
    if (retried) {
        retransmissionFailure(step);
        return false;
    }
    m_log.writeLine(m_reply.text());
    m_log.writeLine("*********** Re-Transmission in response.  iWasOK =" + FirmwareText::marker(step)
                    + " *************");
    m_clock.waitSeconds(0.1f);
    sendPacket(m_lastPacket);
    retried = true;
    return true;
}

void FirmwareTransfer::noResponse(int step)
{
    const QByteArray received = m_reply.text();
    m_log.writeLine(received);
    m_log.writeLine("********Cannot recognize response from the loader. iWasOK =" + FirmwareText::marker(step)
                    + " ********");
    m_boxes.show("Cannot recognize response from the loader.  Incoming text is: " + asText(received),
                 "Updating abandoned, due to ERROR. iWasOK =" + FirmwareText::marker(step));
}

void FirmwareTransfer::retransmissionFailure(int step)
{
    m_log.writeLine(m_reply.text());
    m_log.writeLine("********Retransmission did not cure problems with this packet. iWasOK ="
                    + FirmwareText::marker(step) + " ********");
    m_boxes.show("Retransmission did not cure problems with this packet.", kAbandonedTitle);
}

void FirmwareTransfer::programError(int step)
{
    m_log.writeLine("********Program Error while downloading. iWasOK =" + FirmwareText::marker(step) + " ********");
    m_boxes.show("iWasOK =" + FirmwareText::marker(step), "Program Error in frmDownload:DownloadDataFile");
}

void FirmwareTransfer::logUnrecognized(const QByteArray &item)
{
    m_log.writeLine(item);
    m_log.writeLine(QByteArray("************ the previous (input) line was unrecognized ******************"));
    m_unrecognized = true;
}

void FirmwareTransfer::showProgress(qint64 start, qint64 position)
{
    // The file's read position counts from 1, as the next byte to read.
    const qint64 done = start + position + 1;
    if (done > INT32_MAX)
        throw TransferFault{};
    m_bytesDone = done;
    int percent = 100;
    if (m_totalBytes > 0) {
        const double exact = NumberReader::roundHalfEven(double(m_bytesDone) / double(m_totalBytes) * 100.0);
        if (exact < 100.0)
            percent = static_cast<int>(exact);
    }
    m_view.setProgress(percent);
    m_clock.processEvents();
}
