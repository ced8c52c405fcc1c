#include "NumberReader.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Yields the text's characters with the skipped blanks left out.
class Cursor {
public:
    explicit Cursor(QByteArrayView text) : m_text(text) { skip(); }
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    void advance()
    {
        ++m_pos;
        skip();
    }

private:
    void skip()
    {
        while (m_pos < m_text.size() && isSkipped(m_text[m_pos]))
            ++m_pos;
    }
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

// &H and &O digits. The value is exact while it fits 64 bits; beyond that the
// top 60-odd bits are kept with a binary exponent and a flag for any non-zero
// bit dropped below them, which is all a correctly rounded double needs.
double readRadix(Cursor &cur, int base, bool *found)
{
    const int bitsPerDigit = base == 16 ? 4 : 3;
    const std::uint64_t room = UINT64_MAX >> bitsPerDigit; // value * base + d still fits
    std::uint64_t value = 0;
    qint64 shift = 0;     // value stands for value * 2^shift
    bool dropped = false; // a non-zero bit below the kept ones
    qint64 digits = 0;
    for (int d; (d = digitValue(cur.peek(), base)) >= 0; cur.advance()) {
        if (shift == 0 && value <= room) {
            value = value * base + d;
        } else {
            // Every further digit only scales the value; its own bits fall
            // below the kept ones.
            shift += bitsPerDigit;
            dropped = dropped || d != 0;
        }
        ++digits;
    }
    *found = digits > 0;
    if (shift == 0) {
        if (value <= 0xFFFF && digits <= (base == 16 ? 4 : 6))
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
        if (value <= 0xFFFFFFFFull)
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return static_cast<double>(value);
    }
    // value >= 2^60 here, so its lowest bit lies far below a double's 53 bits:
    // setting it stands in for the dropped bits when the conversion rounds.
    if (dropped)
        value |= 1;
    // Past 2^1100 every value is infinite; the bound keeps the int in range.
    return std::ldexp(static_cast<double>(value), static_cast<int>(std::min<qint64>(shift, 1100)));
}

// Decimal digits are collected as significant digits and a power of ten.
// Digits beyond kKeptDigits change the value only below anything a double can
// tell apart (no double, nor any midpoint between two, needs more than 767
// significant digits), so they are dropped and only whether one of them was
// non-zero is kept, as a trailing 1.
constexpr std::size_t kKeptDigits = 800;
// Beyond this power of ten any kept digits give infinity or zero.
constexpr qint64 kExponentBound = 100000;

struct DecimalDigits {
    std::string significant;
    qint64 exponent = 0; // the value is significant * 10^exponent
    bool dropped = false;

    void add(char c, bool afterPoint)
    {
        if (significant.empty() && c == '0') {
            if (afterPoint)
                --exponent;
            return;
        }
        if (significant.size() < kKeptDigits) {
            significant += c;
            if (afterPoint)
                --exponent;
            return;
        }
        dropped = dropped || c != '0';
        if (!afterPoint)
            ++exponent;
    }
};

} // namespace

double NumberReader::leadingNumber(QByteArrayView text, bool *found)
{
    bool ignored = false;
    if (!found)
        found = &ignored;
    *found = false;
    Cursor cur(text);
    if (cur.peek() == '&') {
        cur.advance();
        const char kind = cur.peek();
        if (kind == 'H' || kind == 'h') {
            cur.advance();
            return readRadix(cur, 16, found);
        }
        if (kind == 'O' || kind == 'o') {
            cur.advance();
            return readRadix(cur, 8, found);
        }
        return 0;
    }

    bool negative = false;
    if (cur.peek() == '+' || cur.peek() == '-') {
        negative = cur.peek() == '-';
        cur.advance();
    }
    DecimalDigits number;
    bool anyDigit = false;
    for (; isDigit(cur.peek()); cur.advance()) {
        number.add(cur.peek(), false);
        anyDigit = true;
    }
    if (cur.peek() == '.') {
        cur.advance();
        for (; isDigit(cur.peek()); cur.advance()) {
            number.add(cur.peek(), true);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0;
    *found = true;

    qint64 exponent = 0;
    const char e = cur.peek();
    if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
        cur.advance();
        bool exponentNegative = false;
        if (cur.peek() == '+' || cur.peek() == '-') {
            exponentNegative = cur.peek() == '-';
            cur.advance();
        }
        // Any number of digits. Once the exponent outweighs every digit the
        // mantissa can hold, further digits no longer change the result.
        const qint64 limit = kExponentBound + std::abs(number.exponent) + qint64(kKeptDigits);
        for (; isDigit(cur.peek()); cur.advance()) {
            if (exponent <= limit)
                exponent = exponent * 10 + (cur.peek() - '0');
        }
        if (exponentNegative)
            exponent = -exponent;
    }

    if (number.significant.empty())
        return negative ? -0.0 : 0.0;
    std::string digits = number.significant;
    qint64 power = number.exponent;
    if (number.dropped) {
        digits += '1';
        --power;
    }
    power = std::clamp(power + exponent, -kExponentBound, kExponentBound);
    // Digits and an exponent only, no decimal point: strtod reads that form
    // the same way whatever the locale's decimal separator.
    const std::string literal = (negative ? "-" : "") + digits + "e" + std::to_string(power);
    return std::strtod(literal.c_str(), nullptr);
}

double NumberReader::roundHalfEven(double value)
{
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(saved);
    return r;
}

std::optional<std::int16_t> NumberReader::toInt16(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}
