// The serial settings text: parse agrees with a plain model (the text split
// whole at its commas, as it once was), parse then format then parse gives
// the same settings, parseOrThrow refuses exactly what parse refuses, with
// error 380, and every settings value formats to a text that reads back.
#include "FuzzCheck.h"
#include "SerialSettings.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>

namespace {

std::optional<SerialSettings> model(const QString &text)
{
    const QStringList f = text.split(',');
    if (f.size() != 4)
        return std::nullopt;
    SerialSettings s;
    const QString baud = f[0].trimmed();
    if (baud.isEmpty())
        return std::nullopt;
    qint64 rate = 0;
    for (QChar c : baud) {
        if (c < '0' || c > '9')
            return std::nullopt;
        rate = std::min<qint64>(rate * 10 + (c.unicode() - '0'), qint64(1) << 40);
    }
    if (rate <= 0 || rate > 2147483647)
        return std::nullopt;
    s.baud = qint32(rate);
    const QString parity = f[1].trimmed().toUpper();
    const QString letters = "NEOMS";
    if (parity.size() != 1 || !letters.contains(parity[0]))
        return std::nullopt;
    s.parity = SerialSettings::Parity(letters.indexOf(parity[0]));
    const QString data = f[2].trimmed();
    if (data != "5" && data != "6" && data != "7" && data != "8")
        return std::nullopt;
    s.dataBits = data.toInt();
    const QString stop = f[3].trimmed();
    if (stop == "1")
        s.stopBits = SerialSettings::StopBits::One;
    else if (stop == "2")
        s.stopBits = SerialSettings::StopBits::Two;
    else if (stop == "1.5" && s.dataBits == 5)
        s.stopBits = SerialSettings::StopBits::OneAndHalf;
    else
        return std::nullopt;
    return s;
}

void check(const QString &text)
{
    const auto parsed = SerialSettings::parse(text);
    FUZZ_CHECK(parsed == model(text), text);
    bool threw = false;
    try {
        FUZZ_CHECK(SerialSettings::parseOrThrow(text) == parsed, text);
    } catch (const CommError &e) {
        threw = true;
        FUZZ_CHECK(e.number() == 380, text);
    }
    FUZZ_CHECK(threw == !parsed.has_value(), text);
    if (parsed) {
        const QString formatted = parsed->format();
        FUZZ_CHECK(SerialSettings::parse(formatted) == parsed, text + " -> " + formatted);
        FUZZ_CHECK(SerialSettings::parse(formatted)->format() == formatted, formatted);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(QString::fromUtf8(bytes));
    check(QString::fromLatin1(bytes));
    check(QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2));

    // Any settings value, built from the bytes, reads back from its text.
    if (size >= 7) {
        SerialSettings s;
        s.baud = qint32(1
                        + ((quint32(data[0]) | quint32(data[1]) << 8 | quint32(data[2]) << 16 | quint32(data[3]) << 24)
                           % 2147483647u));
        s.parity = SerialSettings::Parity(data[4] % 5);
        s.dataBits = 5 + data[5] % 4;
        s.stopBits = SerialSettings::StopBits(data[6] % 3);
        if (s.stopBits == SerialSettings::StopBits::OneAndHalf)
            s.dataBits = 5;
        FUZZ_CHECK(SerialSettings::parse(s.format()) == s, s.format());
    }
    return 0;
}
