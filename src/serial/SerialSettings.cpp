#include "SerialSettings.h"

#include <QStringList>

std::optional<SerialSettings> SerialSettings::parse(const QString &text)
{
    const QStringList f = text.split(',');
    if (f.size() != 4)
        return std::nullopt;

    SerialSettings s;

    // Digits only: no sign, no exponent, no hex.
    const QString baud = f[0].trimmed();
    bool ok = !baud.isEmpty();
    for (QChar c : baud)
        ok = ok && c >= '0' && c <= '9';
    const qint64 rate = ok ? baud.toLongLong(&ok) : 0;
    if (!ok || rate <= 0 || rate > 0x7fffffff)
        return std::nullopt;
    s.baud = static_cast<qint32>(rate);

    const QString parity = f[1].trimmed().toUpper();
    if (parity == "N")
        s.parity = Parity::None;
    else if (parity == "E")
        s.parity = Parity::Even;
    else if (parity == "O")
        s.parity = Parity::Odd;
    else if (parity == "M")
        s.parity = Parity::Mark;
    else if (parity == "S")
        s.parity = Parity::Space;
    else
        return std::nullopt;

    const QString data = f[2].trimmed();
    if (data.size() != 1 || data[0] < '5' || data[0] > '8')
        return std::nullopt;
    s.dataBits = data[0].unicode() - '0';

    const QString stop = f[3].trimmed();
    if (stop == "1")
        s.stopBits = StopBits::One;
    else if (stop == "1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (stop == "2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    if (s.stopBits == StopBits::OneAndHalf && s.dataBits != 5)
        return std::nullopt;

    return s;
}

SerialSettings SerialSettings::parseOrThrow(const QString &text)
{
    if (auto s = parse(text))
        return *s;
    throw CommError(380, QStringLiteral("Invalid property value: \"%1\" is not a valid setting "
                                        "(baud,parity,data bits,stop bits as in \"9600,N,8,1\")")
                             .arg(text));
}

QString SerialSettings::format() const
{
    static const char parityLetters[] = {'N', 'E', 'O', 'M', 'S'};
    const char *stop = stopBits == StopBits::One ? "1" : stopBits == StopBits::Two ? "2" : "1.5";
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(QChar(parityLetters[static_cast<int>(parity)]))
        .arg(dataBits)
        .arg(QLatin1String(stop));
}
