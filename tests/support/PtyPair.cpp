#include "PtyPair.h"

#include "WaitUntil.h"

#include <QFileInfo>

PtyPair::PtyPair() = default;

PtyPair::~PtyPair() { stop(); }

bool PtyPair::start()
{
    m_socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_socat.start("socat", {"pty,raw,echo=0,perm=0666,link=" + endA(), "pty,raw,echo=0,perm=0666,link=" + endB()});
    if (!m_socat.waitForStarted(5000))
        return false;
    return waitUntil([this] { return QFileInfo::exists(endA()) && QFileInfo::exists(endB()); }, 5000);
}

void PtyPair::stop()
{
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.terminate();
        if (!m_socat.waitForFinished(3000)) {
            m_socat.kill();
            m_socat.waitForFinished(3000);
        }
    }
}
