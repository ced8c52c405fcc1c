#pragma once

#include <QString>

// A small tmpfs mounted on a folder while the object lives, to give a test a
// read-only file system or one that is full. Mounting needs root; problem()
// says why it did not happen.
class TmpfsMount {
public:
    enum class Access { ReadOnly, Writable };

    // Makes the folder if need be and mounts `bytes` of tmpfs on it.
    TmpfsMount(const QString &folder, Access access, qint64 bytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool isMounted() const { return m_mounted; }
    QString problem() const { return m_problem; }
    QString path() const { return m_folder; }

    // Writes one file until the system says the file system is full; true
    // when it did.
    bool fill();

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_problem;
};
