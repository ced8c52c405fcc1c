#include "FirmwareText.h"

#include "CaughtException.h"
#include "LogCategories.h"
#include "MessageBoxes.h"
#include "NumberReader.h"

#include <QString>
#include <cmath>

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// A failure inside byteArrayOf, carrying the step it happened in.
struct ByteListFailure {
    int step;
};
} // namespace

QByteArray FirmwareText::stripLeadingBlanks(QByteArrayView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return text.sliced(i).toByteArray();
}

FirmwareText::ItemKind FirmwareText::kindOf(QByteArrayView item)
{
    if (item.isEmpty())
        return ItemKind::Empty;
    if (item[0] == ':')
        return ItemKind::Record;
    if (item[0] == ';')
        return ItemKind::Comment;
    if (startsWith(item, "send"))
        return ItemKind::Packet;
    return ItemKind::Unrecognized;
}

QByteArray FirmwareText::byteArrayOf(QByteArrayView text, MessageBoxes &boxes)
{
    int step = 0;
    try {
        QByteArray bytes(kMaxPacketBytes, '\0');
        int count = 0;
        step = 10;
        // The text is walked by position; the first space and TAB at or after
        // the position are remembered so a long line is scanned only once.
        qsizetype pos = 0;
        qsizetype nextSpace = -2;
        qsizetype nextTab = -2;
        auto findFrom = [&text](char c, qsizetype from, qsizetype &cached) {
            if (cached == -1 || cached >= from)
                return cached;
            cached = text.indexOf(c, from);
            return cached;
        };
        while (pos < text.size()) {
            step = 20;
            while (pos < text.size() && isBlank(text[pos]))
                ++pos;
            if (pos >= text.size() || !isDigit(text[pos]))
                break;
            step = 30;
            // A space anywhere further on ends the token before a TAB does.
            qsizetype end = findFrom(' ', pos, nextSpace);
            if (end < 0) {
                step = 40;
                end = findFrom('\t', pos, nextTab);
                if (end < 0) {
                    step = 50;
                    end = text.size();
                }
            }
            step = 60;
            ++count;
            step = 70;
            if (count > kMaxPacketBytes)
                throw ByteListFailure{step};
            const double value = NumberReader::roundHalfEven(NumberReader::leadingNumber(text.sliced(pos, end - pos)));
            if (!std::isfinite(value) || value > 2147483647.0 || value < -2147483648.0)
                throw ByteListFailure{step};
            bytes[count - 1] = static_cast<char>(static_cast<std::int64_t>(value) & 0xFF);
            step = 80;
            if (end >= text.size())
                break;
            pos = end;
        }
        step = 90;
        bytes.truncate(count);
        step = 95;
        return bytes;
    } catch (const ByteListFailure &failure) {
        step = failure.step;
    } catch (...) {
        qCWarning(lcFirmware).noquote() << "Reading the firmware text failed:" << CaughtException::reason();
    }
    boxes.show("iWasOK =" + marker(step), "Program Error in frmDownload:ByteArrayOf");
    return {};
}

qsizetype FirmwareText::indexOf(QByteArrayView text, QByteArrayView what, qsizetype from)
{
    if (what.isEmpty())
        return from <= text.size() ? from : -1;
    const char first = lower(what[0]);
    for (qsizetype i = from; i + what.size() <= text.size(); ++i) {
        if (lower(text[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < what.size() && lower(text[i + k]) == lower(what[k]))
            ++k;
        if (k == what.size())
            return i;
    }
    return -1;
}

bool FirmwareText::startsWith(QByteArrayView text, QByteArrayView what)
{
    if (text.size() < what.size())
        return false;
    for (qsizetype k = 0; k < what.size(); ++k) {
        if (lower(text[k]) != lower(what[k]))
            return false;
    }
    return true;
}

QString FirmwareText::marker(int step) { return " " + QString::number(step); }
