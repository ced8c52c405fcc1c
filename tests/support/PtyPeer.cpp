#include "PtyPeer.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool PtyPeer::open(const QString &path)
{
    close();
    // Non-blocking, so that a send the program never reads ends at its bound.
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return m_fd >= 0;
}

void PtyPeer::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool PtyPeer::send(const QByteArray &bytes, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, int(std::min<qint64>(left, 100)));
    }
    return true;
}

QByteArray PtyPeer::receive(qsizetype count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
        }
    }
    return got;
}
