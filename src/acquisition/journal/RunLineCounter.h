#pragma once

#include "BackgroundQueue.h"

#include <QObject>
#include <QString>
#include <QStringList>

// Counts the lines of raw journals on a thread of its own, so a window that
// lists runs opens at once however large an unfinished run is. Each result
// comes back as counted(), in the thread the counter belongs to.
class RunLineCounter : public QObject {
    Q_OBJECT
public:
    explicit RunLineCounter(QObject *parent = nullptr);

    // Counts these journals in turn; replaces those still waiting.
    void count(const QStringList &rawPaths) { m_queue.replace(rawPaths); }

signals:
    // lines is -1 when the journal could not be read.
    void counted(const QString &rawPath, qint64 lines);

private:
    BackgroundQueue m_queue;
};
