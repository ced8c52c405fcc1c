#include "ArchiveThread.h"

#include "ArchiveWords.h"
#include "LogCategories.h"

#include <QTimer>
#include <mutex>

namespace {
constexpr int kLongestDelayMs = 60 * 1000;
}

ArchiveThread::ArchiveThread(Settings settings, ArchiveStatus &status)
    : m_settings(std::move(settings)),
      m_status(status),
      m_sender(
          std::make_unique<ArchiveSender>(m_settings.runsFolder, m_settings.host, status, m_settings.startWorkbook))
{
    m_thread.setObjectName(QStringLiteral("archive"));
}

ArchiveThread::~ArchiveThread()
{
    m_ending = true;
    {
        std::lock_guard<std::mutex> lock(m_busyMutex);
        if (m_busy)
            m_busy->cancel();
    }
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [this] {
            delete m_timer;
            m_timer = nullptr;
            m_store.reset();
            {
                std::lock_guard<std::mutex> lock(m_busyMutex);
                m_busy.reset();
            }
            m_connection.reset();
            m_thread.quit();
        });
    m_thread.wait();
    delete m_worker; // its thread has ended: nothing of it runs any more
}

void ArchiveThread::start()
{
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, [this] {
        m_timer = new QTimer;
        m_timer->setSingleShot(true);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] { pass(); });
        pass();
    });
}

void ArchiveThread::setConnection(const QString &conninfo)
{
    if (!m_worker)
        return;
    QMetaObject::invokeMethod(m_worker, [this, conninfo] {
        m_settings.conninfo = conninfo;
        m_store.reset();
        {
            std::lock_guard<std::mutex> lock(m_busyMutex);
            m_busy.reset();
        }
        m_connection.reset();
        m_delayMs = 0;
        if (m_timer)
            m_timer->start(0);
    });
}

void ArchiveThread::pass()
{
    if (m_ending)
        return;
    if (!m_store) {
        Result<std::shared_ptr<ArchiveConnection>> made = ArchiveConnection::open(m_settings.conninfo);
        if (!made) {
            m_delayMs = std::min(kLongestDelayMs, std::max(m_settings.intervalMs, m_delayMs * 2));
            // Without an archive set up Halvern works as it always did: said once.
            if (made.failure().reason != ArchiveWords::noService())
                qCWarning(lcArchive).noquote()
                    << "The archive was not reached (next try in" << m_delayMs / 1000 << "s):" << made.failure().reason;
            else if (m_lastProblem != made.failure().reason)
                qCInfo(lcArchive).noquote() << made.failure().reason;
            m_lastProblem = made.failure().reason;
            m_sender->markWaiting(made.failure().reason);
            m_timer->start(m_delayMs);
            return;
        }
        m_lastProblem.clear();
        m_connection = made.value();
        {
            std::lock_guard<std::mutex> lock(m_busyMutex);
            m_busy = m_connection;
        }
        m_store = std::make_unique<ArchiveStore>(m_connection, m_settings.host);
        m_sender->forget();
        qCInfo(lcArchive).noquote() << "Connected to the archive" << m_connection->describe() << "as"
                                    << ArchiveWords::withoutPassword(m_settings.conninfo.isEmpty()
                                                                         ? ArchiveWords::defaultConnection()
                                                                         : m_settings.conninfo);
    }
    m_delayMs = 0;
    if (const std::optional<Failure> failure = m_sender->pass(*m_store)) {
        m_sender->markWaiting(failure->reason);
        m_store.reset();
        {
            std::lock_guard<std::mutex> lock(m_busyMutex);
            m_busy.reset();
        }
        m_connection.reset();
        m_delayMs = m_settings.intervalMs;
    }
    if (!m_ending)
        m_timer->start(m_settings.intervalMs);
}
