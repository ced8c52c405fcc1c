#pragma once

#include "TimestampSettings.h"

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <functional>

class QNetworkAccessManager;

// Asks the time-stamping authority of the settings to stamp hashes, in the
// background: a call returns at once, and the reply, checked against the
// request, is handed to `keep` when it arrives. An authority that cannot be
// reached or answers with anything but a stamp is asked again later, each
// time logged with the reason; nothing waits for it.
class TimestampClient : public QObject {
    Q_OBJECT
public:
    using Keep = std::function<void(const QByteArray &digest, const QByteArray &token)>;

    explicit TimestampClient(TimestampSettings settings, QObject *parent = nullptr);
    ~TimestampClient() override;

    bool enabled() const { return m_settings.enabled(); }
    QString url() const { return m_settings.url; }
    // Stamps a SHA-256 `digest` (32 bytes); nothing when no authority is set.
    void stamp(const QByteArray &digest, Keep keep);
    // Hashes asked for whose stamp has not come yet.
    int pending() const { return m_pending; }

    // The wait before the first retry; it doubles each time up to `longest`.
    void setRetryDelays(std::chrono::milliseconds first, std::chrono::milliseconds longest);

signals:
    void stamped(const QByteArray &digest);
    // A stamp was not made this time and is asked for again later.
    void retrying(const QString &why);

private:
    void ask(const QByteArray &digest, const Keep &keep, std::chrono::milliseconds delay);
    void retry(const QByteArray &digest, const Keep &keep, std::chrono::milliseconds delay, const QString &why);

    TimestampSettings m_settings;
    QNetworkAccessManager *m_network;
    std::chrono::milliseconds m_firstDelay{2000};
    std::chrono::milliseconds m_longestDelay{5 * 60 * 1000};
    int m_pending = 0;
};
