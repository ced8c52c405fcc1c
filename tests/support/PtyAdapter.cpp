#include "PtyAdapter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

PtyAdapter::PtyAdapter(const QString &deviceFolder, const QString &name) : m_folder(deviceFolder), m_name(name)
{
    // Readable by another user, for the tests that run a part as one.
    QFile::setPermissions(m_private.path(), QFile::permissions(m_private.path()) | QFile::ReadOther | QFile::ExeOther
                                                | QFile::ReadGroup | QFile::ExeGroup);
}

PtyAdapter::~PtyAdapter() { unplug(); }

QString PtyAdapter::devicePath() const { return m_folder + '/' + m_name; }

QString PtyAdapter::instrumentEnd() const { return m_private.path() + "/instrument"; }

QString PtyAdapter::node() const { return QFileInfo(devicePath()).canonicalFilePath(); }

bool PtyAdapter::plug()
{
    m_socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_socat.start(
        "socat", {"pty,raw,echo=0,perm=0666,link=" + devicePath(), "pty,raw,echo=0,perm=0666,link=" + instrumentEnd()});
    if (!m_socat.waitForStarted(5000))
        return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        if (QFileInfo::exists(devicePath()) && QFileInfo::exists(instrumentEnd()))
            return true;
        QThread::msleep(5);
    }
    return false;
}

void PtyAdapter::unplug()
{
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.terminate();
        if (!m_socat.waitForFinished(3000)) {
            m_socat.kill();
            m_socat.waitForFinished(3000);
        }
    }
    // socat removes its links as it ends; a killed one leaves them behind.
    if (QFileInfo(devicePath()).isSymLink())
        QFile::remove(devicePath());
    if (QFileInfo(instrumentEnd()).isSymLink())
        QFile::remove(instrumentEnd());
}
