#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a Halvern or an office of ours that was killed leaves beside the
// user's files and in /tmp, and how each is known to be stale: the one list
// of such leftovers, and the names of the temporary files that can become
// one. Nothing of another program's, or of a Halvern still running, is
// touched.
//
//   .~halvern-save-<pid>-<x>.<ext>   a save's temporary file: stale when <pid> has ended
//   .halvern-rebuild-<pid>.xls       a rebuild's copy of the working copy: the same
//   .~lock.<either of those>#        the office's lock on one of them: the same
//   .~lock.<any document>#           a lock our office wrote (it names the office's
//                                    profile): stale when it was written on this host
//                                    and no process runs that office any more
//   lu<x>.tmp                        the office's own temporary file of a save, beside
//                                    a stale save and held open by nobody
//   /tmp/OSL_PIPE_<uid>_*            an office's pipe: stale when nobody listens on it
class Leftovers {
public:
    // ".~halvern-save-<pid>-<random>.<suffix>" of this process.
    static QString saveTemporaryName(const QString &suffix);
    static bool isSaveTemporary(const QString &fileName);
    // ".halvern-rebuild-<pid>.xls" of this process.
    static QString rebuildCopyName();
    // ".~lock.<fileName>#", the office's lock beside a document.
    static QString lockNameOf(const QString &fileName);

    // Removes the stale leftovers in folder; the paths removed.
    static QStringList removeIn(const QString &folder);
    // Removes the office pipes of this user in pipeFolder nobody listens on.
    static QStringList removeDeadPipes(const QString &pipeFolder = QStringLiteral("/tmp"));
    // Whether a lock file with this content was written by an office of ours
    // on this host that no longer runs.
    static bool lockIsStale(const QByteArray &content);
};
