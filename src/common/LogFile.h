#pragma once

#include "Failure.h"

#include <QString>
#include <QtGlobal>
#include <optional>

class QDateTime;

// The program's log: every message that passes the logging rules goes to
// stderr and to a file, one line each with the time (UTC), the level, the
// category and the text. The file is kept below a size; when it would grow
// past it, it becomes halvern.log.1 (the older ones move up, the oldest
// goes), and a new one begins. A lab PC is shared: the file is the user's
// alone (0600, in a folder 0700) and a link in its place is not followed.
class LogFile {
public:
    static constexpr qint64 kMaxBytes = 2 * 1024 * 1024;
    static constexpr int kKeptFiles = 3;

    // $XDG_STATE_HOME/Halvern/halvern.log, or ~/.local/state/Halvern/halvern.log.
    static QString defaultPath();
    // Sends Qt's messages to stderr and to the file at path from now on.
    // When the file cannot be opened, messages go to stderr alone and the
    // failure is returned.
    static std::optional<Failure> install(const QString &path = defaultPath(), qint64 maxBytes = kMaxBytes);
    // Back to Qt's own handler; the file is closed.
    static void uninstall();
    // One line of the log, with its line end.
    static QByteArray line(const QDateTime &time, QtMsgType type, const char *category, const QString &text);
};
