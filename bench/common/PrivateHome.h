#pragma once

// A private home for a benchmark that starts offices: the working copy, the
// office profiles and the run journals stay out of the user's own. Call it
// before the QCoreApplication is made.
#include <QByteArray>
#include <QString>

inline void usePrivateHome(const QString &home)
{
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
    qputenv("HALVERN_OFFICE_HEADLESS", "1");
}
