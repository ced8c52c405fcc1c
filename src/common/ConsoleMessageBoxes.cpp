#include "ConsoleMessageBoxes.h"

#include <QTextStream>

MessageBoxes::Answer ConsoleMessageBoxes::show(const QString &text, const QString &title, Buttons)
{
    QTextStream(stderr) << m_prefix << ": " << title << " | " << text << "\n";
    return Answer::Ok;
}
