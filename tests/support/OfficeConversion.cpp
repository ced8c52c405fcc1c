#include "OfficeConversion.h"

#include <QProcess>
#include <QTemporaryDir>

bool convertWithSeparateOffice(const QStringList &files, const QString &filter, const QString &outDir)
{
    QTemporaryDir home;
    QProcess soffice;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("URE_BOOTSTRAP");
    env.insert("HOME", home.path());
    env.insert("TMPDIR", home.path());
    soffice.setProcessEnvironment(env);
    soffice.setProcessChannelMode(QProcess::MergedChannels);
    soffice.start("soffice", QStringList{"-env:UserInstallation=file://" + home.path() + "/profile", "--headless",
                                         "--norestore", "--convert-to", filter, "--outdir", outDir}
                                 + files);
    return soffice.waitForFinished(120000) && soffice.exitStatus() == QProcess::NormalExit;
}
