#include "NumberReader.h"

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

double readRadix(Cursor &cur, int base, bool *found)
{
    std::uint64_t value = 0;
    int digits = 0;
    for (int d; (d = digitValue(cur.peek(), base)) >= 0; cur.advance()) {
        if (value <= (UINT64_MAX >> 4))
            value = value * base + d;
        ++digits;
    }
    *found = digits > 0;
    if (value <= 0xFFFF && digits <= (base == 16 ? 4 : 6))
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    if (value <= 0xFFFFFFFFull)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return static_cast<double>(value);
}

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

    std::string number;
    if (cur.peek() == '+' || cur.peek() == '-') {
        number += cur.peek();
        cur.advance();
    }
    bool anyDigit = false;
    for (; isDigit(cur.peek()); cur.advance()) {
        number += cur.peek();
        anyDigit = true;
    }
    if (cur.peek() == '.') {
        number += '.';
        cur.advance();
        for (; isDigit(cur.peek()); cur.advance()) {
            number += cur.peek();
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0;
    *found = true;
    const char e = cur.peek();
    if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
        std::string exponent = "e";
        cur.advance();
        if (cur.peek() == '+' || cur.peek() == '-') {
            exponent += cur.peek();
            cur.advance();
        }
        bool expDigit = false;
        for (; isDigit(cur.peek()); cur.advance()) {
            if (exponent.size() < 12)
                exponent += cur.peek();
            expDigit = true;
        }
        if (expDigit)
            number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
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
