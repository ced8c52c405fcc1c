#pragma once

#include "RunArchiveState.h"

#include <QHash>
#include <QMutex>
#include <QString>

// Where each run stands with the archive, written by the archive's thread
// and read by the windows: sent, waiting (and why, when the server does not
// answer) or refused (and why).
class ArchiveStatus : public RunArchiveState {
public:
    enum class State { Waiting, Sent, Refused };

    // Keyed by the raw file's name; a path is taken by its name.
    void set(const QString &rawPath, State state, const QString &why = {});
    // Why nothing can be sent at the moment; empty while the server answers.
    void setServerProblem(const QString &why);
    QString serverProblem() const;
    State state(const QString &rawPath) const;

    QString archivedText(const QString &rawPath) const override;

private:
    struct Entry {
        State state = State::Waiting;
        QString why;
    };
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_runs;
    QString m_serverProblem;
};
