#include "TimestampToken.h"

#include <QFile>
#include <memory>
#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace {
template <typename T, void (*Free)(T *)>
struct Freer {
    void operator()(T *p) const { Free(p); }
};
using Request = std::unique_ptr<TS_REQ, Freer<TS_REQ, TS_REQ_free>>;
using Imprint = std::unique_ptr<TS_MSG_IMPRINT, Freer<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>>;
using Algorithm = std::unique_ptr<X509_ALGOR, Freer<X509_ALGOR, X509_ALGOR_free>>;
using Integer = std::unique_ptr<ASN1_INTEGER, Freer<ASN1_INTEGER, ASN1_INTEGER_free>>;
using Reply = std::unique_ptr<TS_RESP, Freer<TS_RESP, TS_RESP_free>>;
using VerifyContext = std::unique_ptr<TS_VERIFY_CTX, Freer<TS_VERIFY_CTX, TS_VERIFY_CTX_free>>;

// What OpenSSL noted of the last failure, oldest first.
QString openSslErrors()
{
    QStringList reasons;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        reasons << QString::fromLatin1(text);
    }
    return reasons.isEmpty() ? QStringLiteral("no reason given") : reasons.join(QStringLiteral("; "));
}

Result<QDateTime> verify(const QByteArray &reply, const QByteArray &digest, X509_STORE *store,
                         std::optional<quint64> nonce)
{
    ERR_clear_error();
    const auto *p = reinterpret_cast<const unsigned char *>(reply.constData());
    const Reply response(d2i_TS_RESP(nullptr, &p, reply.size()));
    if (!response) {
        X509_STORE_free(store);
        return Failure{QStringLiteral("not a time-stamp reply: ") + openSslErrors()};
    }
    const VerifyContext context(TS_VERIFY_CTX_new());
    int flags = TS_VFY_VERSION | TS_VFY_IMPRINT;
    if (store) {
        TS_VERIFY_CTX_set_store(context.get(), store); // the context owns it now
        flags |= TS_VFY_SIGNATURE;
    }
    auto *imprint = static_cast<unsigned char *>(OPENSSL_malloc(size_t(digest.size())));
    std::copy(digest.cbegin(), digest.cend(), imprint);
    TS_VERIFY_CTX_set_imprint(context.get(), imprint, digest.size());
    TS_VERIFY_CTX_set_flags(context.get(), flags);
    if (TS_RESP_verify_response(context.get(), response.get()) != 1)
        return Failure{QStringLiteral("the time stamp does not match: ") + openSslErrors()};
    TS_TST_INFO *info = TS_RESP_get_tst_info(response.get());
    if (nonce) { // OpenSSL 3.0 has no setter for the context's nonce
        const ASN1_INTEGER *got = TS_TST_INFO_get_nonce(info);
        uint64_t value = 0;
        if (!got || ASN1_INTEGER_get_uint64(&value, got) != 1 || value != *nonce)
            return Failure{QStringLiteral("the time stamp is not the reply to this request (another nonce)")};
    }
    const ASN1_GENERALIZEDTIME *time = TS_TST_INFO_get_time(info);
    struct tm parts {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return Failure{QStringLiteral("the time stamp holds no time")};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}
} // namespace

QByteArray TimestampToken::request(const QByteArray &digest, quint64 nonce)
{
    const Request request(TS_REQ_new());
    const Imprint imprint(TS_MSG_IMPRINT_new());
    const Algorithm algorithm(X509_ALGOR_new());
    const Integer number(ASN1_INTEGER_new());
    X509_ALGOR_set0(algorithm.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
    QByteArray bytes = digest;
    const bool made =
        TS_REQ_set_version(request.get(), 1) == 1 && TS_MSG_IMPRINT_set_algo(imprint.get(), algorithm.get()) == 1
        && TS_MSG_IMPRINT_set_msg(imprint.get(), reinterpret_cast<unsigned char *>(bytes.data()), int(bytes.size()))
               == 1
        && TS_REQ_set_msg_imprint(request.get(), imprint.get()) == 1
        && ASN1_INTEGER_set_uint64(number.get(), nonce) == 1 && TS_REQ_set_nonce(request.get(), number.get()) == 1
        && TS_REQ_set_cert_req(request.get(), 1) == 1;
    if (!made)
        return {};
    const int size = i2d_TS_REQ(request.get(), nullptr);
    if (size <= 0)
        return {};
    QByteArray der(size, Qt::Uninitialized);
    auto *out = reinterpret_cast<unsigned char *>(der.data());
    i2d_TS_REQ(request.get(), &out);
    return der;
}

Result<QDateTime> TimestampToken::check(const QByteArray &reply, const QByteArray &digest, const QString &caFile,
                                        std::optional<quint64> nonce)
{
    ERR_clear_error();
    X509_STORE *store = X509_STORE_new();
    if (!store || X509_STORE_load_file(store, QFile::encodeName(caFile).constData()) != 1) {
        X509_STORE_free(store);
        return Failure{QStringLiteral("the CA file %1 cannot be read: %2").arg(caFile, openSslErrors())};
    }
    return verify(reply, digest, store, nonce);
}

Result<QDateTime> TimestampToken::read(const QByteArray &reply, const QByteArray &digest, std::optional<quint64> nonce)
{
    return verify(reply, digest, nullptr, nonce);
}
