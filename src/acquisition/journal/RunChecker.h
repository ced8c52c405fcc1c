#pragma once

#include "BackgroundQueue.h"

#include <QObject>
#include <QString>
#include <QStringList>

// Checks kept runs against their recorded hashes (RunCheck::run) on a thread
// of its own, so a window that lists runs stays alive while long journals
// are hashed. Each result comes back as checked(), in the thread the checker
// belongs to.
class RunChecker : public QObject {
    Q_OBJECT
public:
    explicit RunChecker(QObject *parent = nullptr);

    // Checks these runs in turn; replaces those still waiting.
    void check(const QStringList &rawPaths) { m_queue.replace(rawPaths); }

signals:
    // `verdict` as RunCheck::verdictText() words it.
    void checked(const QString &rawPath, const QString &verdict);

private:
    BackgroundQueue m_queue;
};
