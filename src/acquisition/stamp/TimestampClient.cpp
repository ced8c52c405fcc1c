#include "TimestampClient.h"

#include "LogCategories.h"
#include "TimestampToken.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

namespace {
// An authority that accepts the connection and never answers is given up
// after this, and asked again.
constexpr int kTransferTimeoutMs = 20000;
} // namespace

TimestampClient::TimestampClient(TimestampSettings settings, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_network(new QNetworkAccessManager(this))
{
}

TimestampClient::~TimestampClient()
{
    if (m_pending > 0)
        qCWarning(lcJournal) << m_pending << "record entries were not time-stamped: the program ended first";
}

void TimestampClient::setRetryDelays(std::chrono::milliseconds first, std::chrono::milliseconds longest)
{
    m_firstDelay = first;
    m_longestDelay = longest;
}

void TimestampClient::stamp(const QByteArray &digest, Keep keep)
{
    if (!enabled())
        return;
    ++m_pending;
    ask(digest, keep, m_firstDelay);
}

void TimestampClient::ask(const QByteArray &digest, const Keep &keep, std::chrono::milliseconds delay)
{
    const quint64 nonce = QRandomGenerator::system()->generate64() >> 1;
    const QByteArray query = TimestampToken::request(digest, nonce);
    if (query.isEmpty()) {
        --m_pending;
        qCWarning(lcJournal) << "no time-stamp request could be made for" << digest.toHex();
        return;
    }
    QNetworkRequest request{QUrl(m_settings.url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/timestamp-query"));
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply *reply = m_network->post(request, query);
    connect(reply, &QNetworkReply::finished, this, [this, reply, digest, keep, nonce, delay] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status != 200) {
            retry(digest, keep, delay,
                  reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                           : QStringLiteral("HTTP status %1").arg(status));
            return;
        }
        const QByteArray token = reply->readAll();
        const Result<QDateTime> at = TimestampToken::read(token, digest, nonce);
        if (!at) {
            retry(digest, keep, delay, at.failure().reason);
            return;
        }
        --m_pending;
        keep(digest, token);
        emit stamped(digest);
    });
}

void TimestampClient::retry(const QByteArray &digest, const Keep &keep, std::chrono::milliseconds delay,
                            const QString &why)
{
    qCWarning(lcJournal).noquote() << "The time-stamping authority" << m_settings.url << "did not stamp"
                                   << digest.toHex() << "(" + why + "); asking again in" << delay.count() << "ms";
    emit retrying(why);
    QTimer::singleShot(delay, this,
                       [this, digest, keep, delay] { ask(digest, keep, std::min(delay * 2, m_longestDelay)); });
}
