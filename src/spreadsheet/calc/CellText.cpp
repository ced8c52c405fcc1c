#include "CellText.h"

#include <QRegularExpression>
#include <cmath>

std::optional<double> CellText::plainNumber(const QString &text)
{
    static const QRegularExpression plain(
        QStringLiteral("^[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?$"));
    if (text.isEmpty() || text.size() > 400 || !plain.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok); // QString::toDouble always uses the C locale
    if (!ok || !std::isfinite(value))
        return std::nullopt; // e.g. 1e999: keep the text rather than store infinity
    return value;
}
