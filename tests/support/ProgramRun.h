#pragma once

#include <QString>
#include <QStringList>

// The built program run from the command line without a display, its data
// and settings in `home` (XDG_DATA_HOME and XDG_CONFIG_HOME under it): the
// exit code (-1 when it did not end by itself) and what it printed.
struct ProgramRun {
    int exitCode = -1;
    QString out;

    static ProgramRun halvern(const QStringList &args, const QString &home);
};
