#pragma once

#include <QString>
#include <ostream>

// Lets the test framework show a QString as text in failure messages.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
