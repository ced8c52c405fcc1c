#include "WholeNumberText.h"

#include "NumberReader.h"

#include <QLocale>
#include <QRegularExpression>

std::optional<std::int16_t> WholeNumberText::toInt16(const QString &text)
{
    const QString t = text.trimmed();
    static const QRegularExpression radix(QStringLiteral("^&(?:[Hh][0-9A-Fa-f]{1,4}|[Oo][0-7]{1,6})$"));
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[EeDd][+-]?[0-9]+)?$"));
    if (radix.match(t).hasMatch() || decimal.match(t).hasMatch())
        return NumberReader::toInt16(NumberReader::leadingNumber(t.toLatin1()));
    return std::nullopt;
}
