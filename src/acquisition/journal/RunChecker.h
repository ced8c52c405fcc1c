#pragma once

#include "RunCheck.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Checks kept runs against their recorded hashes (RunCheck::run) on a thread
// of its own, so a window that lists runs stays alive while long journals
// are hashed. Each result comes back as checked(), in the thread the checker
// belongs to.
class RunChecker : public QObject {
    Q_OBJECT
public:
    explicit RunChecker(QObject *parent = nullptr);
    // Stops a check under way and waits for the thread.
    ~RunChecker() override;

    // Checks these runs in turn; replaces those still waiting.
    void check(const QStringList &rawPaths);

signals:
    // `verdict` as RunCheck::verdictText() words it.
    void checked(const QString &rawPath, const QString &verdict);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QStringList m_waiting;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};
