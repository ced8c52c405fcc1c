#include "CellText.h"

#include <charconv>
#include <cmath>

namespace {
constexpr qsizetype kLongest = 400;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
} // namespace

std::optional<double> CellText::plainNumber(const QString &text)
{
    // Scanned by hand rather than by a regular expression: every value of a
    // rebuild passes here, and the expression was most of its own time.
    const qsizetype size = text.size();
    if (size == 0 || size > kLongest)
        return std::nullopt;
    char ascii[kLongest];
    qsizetype at = 0;
    qsizetype used = 0;
    const auto take = [&](auto accepts) {
        qsizetype n = 0;
        while (at < size && accepts(text[at].unicode())) {
            ascii[used++] = char(text[at++].unicode());
            ++n;
        }
        return n;
    };
    if (text[0] == u'+' || text[0] == u'-') {
        if (text[0] == u'-')
            ascii[used++] = '-'; // the parse below takes no plus sign; the value is the same without it
        ++at;
    }
    qsizetype digits = take(isDigit);
    if (at < size && text[at] == u'.') {
        ascii[used++] = '.';
        ++at;
        digits += take(isDigit);
    }
    if (digits == 0)
        return std::nullopt;
    if (at < size && (text[at] == u'e' || text[at] == u'E')) {
        ascii[used++] = 'e';
        ++at;
        if (at < size && (text[at] == u'+' || text[at] == u'-'))
            ascii[used++] = char(text[at++].unicode());
        if (take(isDigit) == 0)
            return std::nullopt;
    }
    if (at != size)
        return std::nullopt;
    // from_chars reads as the C locale does, and tells a value beyond a
    // double (e.g. 1e999) as out of range: that text is kept, not infinity.
    double value = 0;
    const std::from_chars_result read = std::from_chars(ascii, ascii + used, value);
    if (read.ec != std::errc() || read.ptr != ascii + used || !std::isfinite(value))
        return std::nullopt;
    return value;
}
