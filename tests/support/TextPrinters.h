#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>

// Lets the test framework show Qt text as text in failure messages.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << QString::fromLatin1(bytes).toStdString() << '"';
}
