#pragma once

#include <QByteArrayView>
#include <cstdint>
#include <optional>

// Reads the number at the start of a text, the way instrument panels and
// firmware files write numbers:
//  - blanks, TABs and line feeds are skipped wherever they occur;
//  - an optional sign, digits, an optional "." with digits, and an optional
//    exponent letter E or D (either case) with optional sign and digits;
//  - "&H" makes the digits hexadecimal, "&O" octal (4 digits or fewer read as
//    a 16-bit value, up to 8 as a 32-bit value, so &HFFFF is -1; a value
//    beyond 32 bits reads as itself);
//  - any number of digits is read, in time linear in the text; a value
//    beyond the double's range reads as infinity, one below it as 0;
//  - reading stops at the first character that cannot continue the number;
//  - a text with no number at its start reads as 0.
class NumberReader {
public:
    // `found`, when given, tells whether the text starts with a number at all.
    static double leadingNumber(QByteArrayView text, bool *found = nullptr);
    // Rounds to the nearest whole number, halves to the even neighbour.
    static double roundHalfEven(double value);
    // roundHalfEven, then the result if it fits a signed 16-bit integer.
    static std::optional<std::int16_t> toInt16(double value);
};
