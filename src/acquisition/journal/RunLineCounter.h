#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Counts the lines of raw journals on a thread of its own, so a window that
// lists runs opens at once however large an unfinished run is. Each result
// comes back as counted(), in the thread the counter belongs to.
class RunLineCounter : public QObject {
    Q_OBJECT
public:
    explicit RunLineCounter(QObject *parent = nullptr);
    // Stops a count under way and waits for the thread.
    ~RunLineCounter() override;

    // Counts these journals in turn; replaces those still waiting.
    void count(const QStringList &rawPaths);

signals:
    // lines is -1 when the journal could not be read.
    void counted(const QString &rawPath, qint64 lines);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QStringList m_waiting;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};
