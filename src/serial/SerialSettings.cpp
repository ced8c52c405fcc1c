#include "SerialSettings.h"

std::optional<SerialSettings> SerialSettings::parse(const QString &text)
{
    // Exactly four fields. The text is walked once and no copy of it is made,
    // however long it is: a fifth field ends the walk.
    QStringView f[4];
    qsizetype start = 0;
    for (int i = 0; i < 4; ++i) {
        const qsizetype comma = text.indexOf(u',', start);
        if ((comma < 0) != (i == 3))
            return std::nullopt;
        const qsizetype end = comma < 0 ? text.size() : comma;
        f[i] = QStringView(text).sliced(start, end - start).trimmed();
        start = end + 1;
    }

    SerialSettings s;

    // Digits only: no sign, no exponent, no hex.
    const QStringView baud = f[0];
    bool ok = !baud.isEmpty();
    for (QChar c : baud)
        ok = ok && c >= u'0' && c <= u'9';
    const qint64 rate = ok ? baud.toLongLong(&ok) : 0;
    if (!ok || rate <= 0 || rate > 0x7fffffff)
        return std::nullopt;
    s.baud = static_cast<qint32>(rate);

    // One letter, any case (case mapping never makes a longer text shorter).
    if (f[1].size() != 1)
        return std::nullopt;
    const QString parity = f[1].toString().toUpper();
    if (parity == u"N")
        s.parity = Parity::None;
    else if (parity == u"E")
        s.parity = Parity::Even;
    else if (parity == u"O")
        s.parity = Parity::Odd;
    else if (parity == u"M")
        s.parity = Parity::Mark;
    else if (parity == u"S")
        s.parity = Parity::Space;
    else
        return std::nullopt;

    const QStringView data = f[2];
    if (data.size() != 1 || data[0] < u'5' || data[0] > u'8')
        return std::nullopt;
    s.dataBits = data[0].unicode() - '0';

    const QStringView stop = f[3];
    if (stop == u"1")
        s.stopBits = StopBits::One;
    else if (stop == u"1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (stop == u"2")
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
    // A text too long to read in a box is quoted by its start only.
    constexpr qsizetype kQuoted = 200;
    const QString quoted = text.size() <= kQuoted ? text : text.first(kQuoted) + QStringLiteral("...");
    throw CommError(380, QStringLiteral("Invalid property value: \"%1\" is not a valid setting "
                                        "(baud,parity,data bits,stop bits as in \"9600,N,8,1\")")
                             .arg(quoted));
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
