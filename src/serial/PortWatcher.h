#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include <sys/stat.h>

// Watches for a serial device that vanished (an adapter pulled out) to be
// there again, so that the port can be reopened with the same settings.
// Give it the path the port was opened on: the stable by-id link of an
// adapter, or the mapped device path. One stat() a look, a look every
// interval from a timer; nothing else runs while it waits.
//
// The device counts as back once the path leads to a character device after
// it was seen missing, or to another device node than the one present when
// watching began (a replug quicker than one interval). From then on every
// look reports it, until stop(): a reopen that fails (udev may not have set
// the permissions yet) is simply tried again at the next report.
class PortWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultIntervalMs = 250;

    explicit PortWatcher(QObject *parent = nullptr);

    void watch(const QString &devicePath, int intervalMs = defaultIntervalMs);
    void stop();
    bool watching() const { return m_timer.isActive(); }
    QString devicePath() const { return m_path; }
    int intervalMs() const { return m_timer.interval(); }

    // One look now, as the timer does it (without reporting): true when the
    // device is back.
    bool check();
    // How many looks (stat calls) were made since watch().
    int looks() const { return m_looks; }

signals:
    // The device at `devicePath` is back; sent at every look until stop().
    void deviceReturned(const QString &devicePath);

private:
    struct Node {
        dev_t dev = 0;
        ino_t ino = 0;
        dev_t rdev = 0;
        timespec changed{};
    };
    std::optional<Node> look();
    void onTimer();

    QTimer m_timer;
    QString m_path;
    QByteArray m_encodedPath;
    std::optional<Node> m_lostNode; // present when watching began
    bool m_seenMissing = false;
    int m_looks = 0;
};
