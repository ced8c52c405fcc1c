#include "ConsoleMessageBoxes.h"

#include <QTextStream>

MessageBoxes::Answer ConsoleMessageBoxes::show(const QString &text, const QString &title, Buttons buttons)
{
    QTextStream(stderr) << m_prefix << ": " << title << " | " << text << "\n";
    // Nobody is there to try again.
    return buttons == Buttons::TryAgainCancel ? Answer::Cancel : Answer::Ok;
}
