// The text rules of firmware files against plain models: byteArrayOf's token
// rule (a space anywhere further on ends a token before a TAB does, reading
// stops at the first token not starting with a digit, at most 300 numbers,
// each within 32 bits), the item kinds, leading blanks, and the searches that
// ignore letter case.
#include "FirmwareText.h"
#include "FuzzCheck.h"
#include "NumberReader.h"
#include "RecordingMessageBoxes.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// nullopt when the list is refused.
std::optional<QByteArray> bytesModel(const QByteArray &text)
{
    QByteArray out;
    qsizetype pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && isBlank(text[pos]))
            ++pos;
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
            break;
        qsizetype end = text.indexOf(' ', pos);
        if (end < 0)
            end = text.indexOf('\t', pos);
        if (end < 0)
            end = text.size();
        if (out.size() == FirmwareText::kMaxPacketBytes)
            return std::nullopt;
        const double v = NumberReader::roundHalfEven(NumberReader::leadingNumber(text.mid(pos, end - pos)));
        if (!(v >= -2147483648.0 && v <= 2147483647.0))
            return std::nullopt;
        out.append(static_cast<char>(static_cast<std::int64_t>(v) & 0xFF));
        pos = end;
    }
    return out;
}

std::string lower(QByteArrayView text)
{
    std::string s(text.begin(), text.end());
    for (char &c : s)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));

    RecordingMessageBoxes boxes;
    const QByteArray bytes = FirmwareText::byteArrayOf(text, boxes);
    const std::optional<QByteArray> want = bytesModel(text);
    FUZZ_CHECK(bytes == want.value_or(QByteArray()), text);
    FUZZ_CHECK(boxes.boxes.size() == (want ? 0 : 1), text);
    if (!want)
        FUZZ_CHECK(boxes.boxes[0].title == "Program Error in frmDownload:ByteArrayOf");

    const QByteArray stripped = FirmwareText::stripLeadingBlanks(text);
    FUZZ_CHECK(text.endsWith(stripped) && (stripped.isEmpty() || !isBlank(stripped[0])), text);
    FUZZ_CHECK(text.first(text.size() - stripped.size()).count(' ')
                       + text.first(text.size() - stripped.size()).count('\t')
                   == text.size() - stripped.size(),
               text);

    using Kind = FirmwareText::ItemKind;
    const Kind kind = FirmwareText::kindOf(stripped);
    const Kind wantKind = stripped.isEmpty()                    ? Kind::Empty
                          : stripped[0] == ':'                  ? Kind::Record
                          : stripped[0] == ';'                  ? Kind::Comment
                          : lower(stripped).starts_with("send") ? Kind::Packet
                                                                : Kind::Unrecognized;
    FUZZ_CHECK(kind == wantKind, text);

    // Searching for a piece of the text itself, or for the first byte's
    // worth of it, from a place the text picks.
    if (!text.isEmpty()) {
        const qsizetype length = static_cast<unsigned char>(text[0]) % 9;
        const QByteArrayView what = QByteArrayView(text).sliced(1).first(std::min(length, text.size() - 1));
        const qsizetype from = text.size() > 1 ? static_cast<unsigned char>(text[1]) % (text.size() + 2) : 0;
        const qsizetype got = FirmwareText::indexOf(text, what, from);
        const std::size_t found =
            from <= text.size() ? lower(text).find(lower(what), std::size_t(from)) : std::string::npos;
        FUZZ_CHECK(got == (found == std::string::npos ? -1 : qsizetype(found)), text);
        FUZZ_CHECK(FirmwareText::startsWith(text, what) == lower(text).starts_with(lower(what)), text);
    }
    return 0;
}
