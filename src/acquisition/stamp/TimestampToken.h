#pragma once

#include "Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// RFC 3161 time-stamp requests and replies (OpenSSL's TS_* API). A token is
// the authority's whole reply (DER), kept as received; it is checked offline,
// against the authority's CA certificates only.
class TimestampToken {
public:
    // A request for a SHA-256 `digest` (32 bytes), asking for the signing
    // certificate in the reply so that the token can be checked alone.
    static QByteArray request(const QByteArray &digest, quint64 nonce);

    // The time the authority put in `reply` (UTC) once its signature chains
    // to a certificate of `caFile`, the signer may stamp, and it stamps
    // `digest` (and carries `nonce`, when given); else why not.
    static Result<QDateTime> check(const QByteArray &reply, const QByteArray &digest, const QString &caFile,
                                   std::optional<quint64> nonce = std::nullopt);
    // The reply's time and whether it stamps `digest`, without the
    // certificates (a reply just received, before it is kept).
    static Result<QDateTime> read(const QByteArray &reply, const QByteArray &digest,
                                  std::optional<quint64> nonce = std::nullopt);
};
