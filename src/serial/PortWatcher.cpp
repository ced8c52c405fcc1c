#include "PortWatcher.h"

#include <QFile>

PortWatcher::PortWatcher(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PortWatcher::onTimer);
}

void PortWatcher::watch(const QString &devicePath, int intervalMs)
{
    m_path = devicePath;
    m_encodedPath = QFile::encodeName(devicePath);
    m_looks = 0;
    m_lostNode = look();
    m_seenMissing = !m_lostNode;
    m_timer.start(intervalMs);
}

void PortWatcher::stop() { m_timer.stop(); }

std::optional<PortWatcher::Node> PortWatcher::look()
{
    ++m_looks;
    struct stat st {};
    if (::stat(m_encodedPath.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    return Node{st.st_dev, st.st_ino, st.st_rdev, st.st_ctim};
}

bool PortWatcher::check()
{
    const std::optional<Node> now = look();
    if (!now) {
        m_seenMissing = true;
        return false;
    }
    if (m_seenMissing || !m_lostNode)
        return true;
    const Node &was = *m_lostNode;
    return now->dev != was.dev || now->ino != was.ino || now->rdev != was.rdev
           || now->changed.tv_sec != was.changed.tv_sec || now->changed.tv_nsec != was.changed.tv_nsec;
}

void PortWatcher::onTimer()
{
    if (check())
        emit deviceReturned(m_path);
}
