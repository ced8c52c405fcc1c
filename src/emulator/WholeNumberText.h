#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Reads a text box that must hold one number, e.g. the EOL frequency box.
// The whole text (blanks around it allowed) must be a decimal number, possibly
// with a fraction or exponent, or an &H/&O number; it is rounded with halves
// to even. Anything else (empty, letters, trailing junk, out of the signed
// 16-bit range) gives nothing, so the caller can keep its old value.
class WholeNumberText {
public:
    static std::optional<std::int16_t> toInt16(const QString &text);
};
