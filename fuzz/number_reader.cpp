// The number reader against a plain model: the blanks taken out first, the
// forms matched by hand, and the C library's own conversions (decimal and
// hexadecimal floating-point text) giving the correctly rounded double.
#include "FuzzCheck.h"
#include "NumberReader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Reading {
    double value = 0;
    bool found = false;
};

bool isDigitOf(char c, int base)
{
    if (base == 8)
        return c >= '0' && c <= '7';
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// The exact value of the digits, correctly rounded: hexadecimal float text.
double radixValue(const std::string &digits, int base)
{
    std::string hex;
    if (base == 16) {
        hex = digits;
    } else {
        std::string bits;
        for (char c : digits)
            for (int b = 2; b >= 0; --b)
                bits += ((c - '0') >> b) & 1 ? '1' : '0';
        while (bits.size() % 4)
            bits.insert(bits.begin(), '0');
        for (std::size_t i = 0; i < bits.size(); i += 4)
            hex += "0123456789abcdef"[std::stoi(bits.substr(i, 4), nullptr, 2)];
    }
    return std::strtod(("0x" + hex + "p0").c_str(), nullptr);
}

Reading model(const QByteArray &input)
{
    std::string t;
    for (char c : input) {
        if (c != ' ' && c != '\t' && c != '\n')
            t += c;
    }
    std::size_t i = 0;
    Reading r;
    if (i < t.size() && t[i] == '&') {
        ++i;
        int base = 0;
        if (i < t.size() && (t[i] == 'H' || t[i] == 'h'))
            base = 16;
        if (i < t.size() && (t[i] == 'O' || t[i] == 'o'))
            base = 8;
        if (base == 0)
            return r;
        ++i;
        std::string digits;
        while (i < t.size() && isDigitOf(t[i], base))
            digits += t[i++];
        if (digits.empty())
            return r;
        r.found = true;
        const double v = radixValue(digits, base);
        if (v <= 0xFFFF && digits.size() <= (base == 16 ? 4u : 6u))
            r.value = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
        else if (v <= 0xFFFFFFFFu)
            r.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        else
            r.value = v;
        return r;
    }

    std::string literal;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        literal += t[i++];
    std::string whole, fraction;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
        whole += t[i++];
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            fraction += t[i++];
    }
    if (whole.empty() && fraction.empty())
        return r;
    r.found = true;
    literal += (whole.empty() ? "0" : whole) + "." + fraction + "0";
    if (i < t.size() && std::string("eEdD").find(t[i]) != std::string::npos) {
        std::size_t j = i + 1;
        std::string sign;
        if (j < t.size() && (t[j] == '+' || t[j] == '-'))
            sign = t[j++];
        std::string digits;
        while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j])))
            digits += t[j++];
        if (!digits.empty())
            literal += "e" + sign + digits;
    }
    r.value = std::strtod(literal.c_str(), nullptr);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    bool found = false;
    const double got = NumberReader::leadingNumber(text, &found);
    const Reading want = model(text);
    FUZZ_CHECK(found == want.found, text);
    FUZZ_CHECK(got == want.value && std::signbit(got) == std::signbit(want.value),
               text + " read " + QByteArray::number(got, 'g', 17) + ", model "
                   + QByteArray::number(want.value, 'g', 17));

    // Rounding to a 16-bit value: present exactly when in range, never more
    // than half away.
    const double rounded = NumberReader::roundHalfEven(got);
    const auto small = NumberReader::toInt16(got);
    FUZZ_CHECK(small.has_value() == (rounded >= -32768 && rounded <= 32767), text);
    if (small)
        FUZZ_CHECK(std::fabs(*small - got) <= 0.5, text);
    return 0;
}
