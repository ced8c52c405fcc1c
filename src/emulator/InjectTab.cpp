#include "InjectTab.h"

#include "NumberReader.h"

#include <cmath>

namespace {
// A number the way the general number format writes it: whole numbers
// without a decimal point, otherwise up to 15 significant digits, very large
// or small numbers with an exponent (1E+20, 1.5E-05).
QByteArray generalNumber(double v)
{
    if (v == 0)
        return QByteArrayLiteral("0");
    // Range first: converting a double outside long long's range is undefined.
    if (v < 1e15 && v > -1e15 && v == std::trunc(v))
        return QByteArray::number(static_cast<long long>(v));
    return QByteArray::number(v, 'g', 15).toUpper();
}
} // namespace

std::optional<QByteArray> InjectTab::lineFor(const QByteArray &output)
{
    bool isNumber = false;
    const double v = output.isEmpty() ? 0 : NumberReader::leadingNumber(output, &isNumber);
    if (!isNumber)
        return std::nullopt;
    return generalNumber(v) + '\t' + generalNumber(v + 1) + "\r\n";
}
