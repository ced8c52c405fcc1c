#include "TimestampAuthority.h"

#include "FileContents.h"

#include <QPointer>
#include <QProcess>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {
const char *kConfig = R"([ tsa ]
default_tsa = tsa_config1
[ tsa_config1 ]
dir = %1
serial = $dir/serial
crypto_device = builtin
signer_cert = $dir/tsa.pem
certs = $dir/tsa.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
)";
} // namespace

TimestampAuthority::TimestampAuthority()
{
    const QString dir = m_folder.path();
    writeFile(m_folder.filePath("serial"), "01\n");
    writeFile(m_folder.filePath("tsa.cnf"), QString::fromLatin1(kConfig).arg(dir).toUtf8());
    writeFile(m_folder.filePath("tsa.ext"), "basicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                                            "extendedKeyUsage = critical,timeStamping\n");
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    m_ready =
        run(QStringList{"req", "-x509"} + ec
            + QStringList{"-keyout", dir + "/ca.key", "-out", dir + "/ca.pem", "-days", "30", "-subj",
                          "/CN=Halvern test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                          "keyUsage=critical,keyCertSign,cRLSign"})
        && run(QStringList{"req", "-new"} + ec
               + QStringList{"-keyout", dir + "/tsa.key", "-out", dir + "/tsa.csr", "-subj", "/CN=Halvern test TSA"})
        && run({"x509", "-req", "-in", dir + "/tsa.csr", "-CA", dir + "/ca.pem", "-CAkey", dir + "/ca.key",
                "-CAcreateserial", "-days", "30", "-extfile", dir + "/tsa.ext", "-out", dir + "/tsa.pem"})
        && m_server.listen(QHostAddress::LocalHost);
    m_port = m_server.serverPort();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool TimestampAuthority::run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    const bool done = openssl.waitForFinished(30000) && openssl.exitCode() == 0;
    EXPECT_TRUE(done) << "openssl " << arguments.join(' ').toStdString() << ": "
                      << openssl.readAllStandardError().toStdString();
    return done;
}

QString TimestampAuthority::url() const { return QStringLiteral("http://127.0.0.1:%1/tsa").arg(m_port); }

bool TimestampAuthority::listenAgain() { return m_server.listen(QHostAddress::LocalHost, m_port); }

void TimestampAuthority::serve(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const QByteArray received = socket->peek(socket->bytesAvailable());
        const qsizetype headerEnd = received.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        qsizetype length = 0;
        for (const QByteArray &line : received.left(headerEnd).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (received.size() < headerEnd + 4 + length)
            return;
        socket->readAll();
        reply(socket, received.mid(headerEnd + 4, length));
    });
}

void TimestampAuthority::reply(QTcpSocket *socket, const QByteArray &query)
{
    // The client may have given up and closed meanwhile.
    auto send = [socket = QPointer<QTcpSocket>(socket)](const QByteArray &status, const QByteArray &body) {
        if (!socket)
            return;
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: application/timestamp-reply\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    };
    if (!m_answering) {
        send("503 Service Unavailable", {});
        return;
    }
    const QString name = QStringLiteral("/request-%1").arg(++m_requests);
    writeFile(m_folder.path() + name + ".tsq", query);
    auto *openssl = new QProcess(this);
    connect(openssl, &QProcess::finished, this, [this, openssl, send, name](int code) {
        openssl->deleteLater();
        const QByteArray body = readFile(m_folder.path() + name + ".tsr");
        if (code != 0 || body.isEmpty()) {
            ADD_FAILURE() << "openssl ts -reply: " << openssl->readAllStandardError().toStdString();
            send("500 Internal Server Error", {});
            return;
        }
        ++m_stamped;
        send("200 OK", body);
    });
    openssl->start(QStringLiteral("openssl"),
                   {"ts", "-reply", "-config", m_folder.filePath("tsa.cnf"), "-queryfile",
                    m_folder.path() + name + ".tsq", "-out", m_folder.path() + name + ".tsr"});
}
