#include "ProgramRun.h"

#include <QProcess>

ProgramRun ProgramRun::halvern(const QStringList &args, const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_STATE_HOME", home + "/state");
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern", args);
    ProgramRun run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = p.exitCode();
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return run;
}
