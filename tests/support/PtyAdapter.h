#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A USB serial adapter as tests see one: a socat pseudo-terminal pair whose
// program end is the link <deviceFolder>/<name>, the way /dev/serial/by-id
// names an adapter, and whose instrument end is a link in a private folder.
// unplug() ends socat, which removes both links; plug() makes them anew,
// on a new pseudo-terminal, as a replugged adapter.
class PtyAdapter {
public:
    PtyAdapter(const QString &deviceFolder, const QString &name);
    ~PtyAdapter();
    PtyAdapter(const PtyAdapter &) = delete;
    PtyAdapter &operator=(const PtyAdapter &) = delete;

    bool plug();   // false when socat is missing or the links do not appear
    void unplug(); // waits until the links are gone

    QString name() const { return m_name; }
    QString devicePath() const;    // <deviceFolder>/<name>
    QString instrumentEnd() const; // the far end, where the instrument writes
    QString node() const;          // the pseudo-terminal behind devicePath() now
    qint64 socatPid() const { return m_socat.processId(); }

private:
    QString m_folder;
    QString m_name;
    QTemporaryDir m_private;
    QProcess m_socat;
};
