#pragma once

#include <QString>
#include <optional>

// How instrument text becomes a cell value: a plain decimal number (optional
// sign, digits, optional fraction and exponent, nothing else) is stored as a
// number; everything else is stored as literal text and never evaluated.
namespace CellText {
// The number the text stands for, or nothing when it is to stay text.
std::optional<double> plainNumber(const QString &text);
} // namespace CellText
