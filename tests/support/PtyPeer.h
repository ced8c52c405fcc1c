#pragma once

#include <QByteArray>
#include <QString>

// The instrument's end of a pseudo-terminal pair: raw reads and writes on the
// device the program does not open.
class PtyPeer {
public:
    PtyPeer() = default;
    ~PtyPeer() { close(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool open(const QString &path);
    void close();
    // Writes every byte; false when the device refused some, or took not all
    // of them within the time limit (nobody reads the other end).
    bool send(const QByteArray &bytes, int timeoutMs = 10000);
    // What arrives within the time limit, up to count bytes.
    QByteArray receive(qsizetype count, int timeoutMs = 2000);

private:
    int m_fd = -1;
};
