#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The built program run from the command line without a display: the exit
// code (-1 when it did not end by itself in time) and what it printed.
struct ProgramRun {
    int exitCode = -1;
    QString out;

    enum class Printed { OutputAndErrors, OutputOnly };

    // This process's environment without a display.
    static QProcessEnvironment headlessEnvironment();
    // Runs halvern in `env`; one that has not ended after limitMs is killed.
    static ProgramRun run(const QStringList &args, const QProcessEnvironment &env, int limitMs,
                          Printed printed = Printed::OutputAndErrors);
    // Its data and settings in `home` (XDG_DATA_HOME, XDG_CONFIG_HOME and
    // XDG_STATE_HOME under it).
    static ProgramRun halvern(const QStringList &args, const QString &home);
};
