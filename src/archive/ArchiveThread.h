#pragma once

#include "ArchiveSender.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>

class QTimer;

// The archive's own thread: connects, and every `interval` passes over the
// runs folder with an ArchiveSender. While the server does not answer it
// tries again, each try further apart up to a minute, and logs why each try
// failed. Nothing on the window's thread ever waits for it, except its end
// (at most one connection's time-out).
class ArchiveThread : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString conninfo; // empty: the service "halvern"
        QString runsFolder;
        QString host;
        int intervalMs = 5000;
        ArchiveSender::StartWorkbook startWorkbook;
    };

    ArchiveThread(Settings settings, ArchiveStatus &status);
    ~ArchiveThread() override;

    void start();
    // Another connection from now on (from the Lab archive window).
    void setConnection(const QString &conninfo);

private:
    void pass();

    Settings m_settings;
    ArchiveStatus &m_status;
    QThread m_thread;
    QObject *m_worker = nullptr; // lives on m_thread
    QTimer *m_timer = nullptr;   // lives on m_thread
    std::unique_ptr<ArchiveSender> m_sender;
    std::shared_ptr<ArchiveConnection> m_connection;
    std::unique_ptr<ArchiveStore> m_store;
    QString m_lastProblem;
    int m_delayMs = 0;
    std::atomic<bool> m_ending{false};
    std::shared_ptr<ArchiveConnection> m_busy; // the connection a pass uses, to cancel at the end
    mutable std::mutex m_busyMutex;
};
