#pragma once

#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

// An RFC 3161 time-stamping authority on 127.0.0.1 for the tests: its own CA
// and signing certificate made with openssl, each request answered over HTTP
// by `openssl ts -reply`. Runs on the test's event loop.
class TimestampAuthority : public QObject {
    Q_OBJECT
public:
    TimestampAuthority();

    bool ready() const { return m_ready; }
    QString url() const;
    QString caFile() const { return m_folder.filePath(QStringLiteral("ca.pem")); }
    // Requests answered with a stamp so far.
    int stamped() const { return m_stamped; }
    // While false, each request is answered "503 Service Unavailable".
    void setAnswering(bool answering) { m_answering = answering; }
    // Stops listening: the authority cannot be reached (the port stays its own).
    void close() { m_server.close(); }
    bool listenAgain();

private:
    bool run(const QStringList &arguments);
    void serve(QTcpSocket *socket);
    void reply(QTcpSocket *socket, const QByteArray &query);

    QTemporaryDir m_folder;
    QTcpServer m_server;
    quint16 m_port = 0;
    bool m_ready = false;
    bool m_answering = true;
    int m_stamped = 0;
    int m_requests = 0;
};
