#include "ProgramRun.h"

#include <QProcess>

QProcessEnvironment ProgramRun::headlessEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    return env;
}

ProgramRun ProgramRun::run(const QStringList &args, const QProcessEnvironment &env, int limitMs, Printed printed)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern", args);
    ProgramRun run;
    if (!p.waitForFinished(limitMs)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        run.exitCode = p.exitCode();
    QByteArray text = p.readAllStandardOutput();
    if (printed == Printed::OutputAndErrors)
        text += p.readAllStandardError();
    run.out = QString::fromUtf8(text);
    return run;
}

ProgramRun ProgramRun::halvern(const QStringList &args, const QString &home)
{
    QProcessEnvironment env = headlessEnvironment();
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_STATE_HOME", home + "/state");
    return run(args, env, 60000);
}
