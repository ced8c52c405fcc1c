#pragma once

#include <QString>

// What the lab archive has of a kept run, as the Runs window shows it:
// "sent", "waiting" or "refused", with why after a colon. The archive keeps
// the state; the window only asks.
class RunArchiveState {
public:
    virtual ~RunArchiveState() = default;
    virtual QString archivedText(const QString &rawPath) const = 0;
};
