#pragma once

#include "Failure.h"

#include <QString>
#include <optional>
#include <sys/types.h>

// The private folders of one office instance we launch: its own user profile
// (never the user's own one) and its own temporary folder, under
// $XDG_DATA_HOME/Halvern/office-<unique>. Also knows the lock files such an
// office leaves beside a document (".~lock.<name>#").
class OfficeFolders {
public:
    // $XDG_DATA_HOME/Halvern (default ~/.local/share/Halvern).
    static QString dataRoot();

    // Makes a fresh, uniquely named instance folder with a prepared profile
    // for the office installed in programFolder.
    std::optional<Failure> create(const QString &programFolder);
    QString unique() const { return m_unique; } // also a good pipe name
    QString folder() const { return m_folder; }
    QString profileUrl() const; // for -env:UserInstallation
    QString tempFolder() const; // the office's TMPDIR
    // Notes the launcher's process id, so later runs can tell whether this
    // office is still there, and whether it is headless.
    void recordLauncher(pid_t pid, bool headless) const;
    // The file its owner holds an flock on while the office is ours.
    QString ownerLockPath() const;
    // Deletes the whole instance folder (only once its office has ended).
    void remove() const;

    // What crashed runs left: an office whose owner has gone (its owner lock
    // is free) is ended, whether headless or not, and its instance folder
    // and its pipe in /tmp are deleted; so are the folders of offices that
    // have ended, and pipes of ours that no office serves. Offices are told
    // by their command line naming one of our profiles: a LibreOffice of the
    // user's own is never touched. The data root is made private (0700).
    static void sweepEnded();
    // Deletes the lock file beside documentPath when one of our offices wrote
    // it and that office has ended (a killed office leaves it behind). With
    // onlyUnique set, only a lock written by that instance is considered.
    static bool removeStaleLock(const QString &documentPath, const QString &onlyUnique = QString());
    static QString lockFilePath(const QString &documentPath);

    // The pipe a launched office accepts connections on: /tmp/OSL_PIPE_<uid>_<unique>.
    static QString pipePath(const QString &unique);

private:
    static bool instanceAlive(const QString &unique);

    QString m_unique;
    QString m_folder;
};
