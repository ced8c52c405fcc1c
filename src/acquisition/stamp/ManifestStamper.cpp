#include "ManifestStamper.h"

#include "LogCategories.h"
#include "ManifestEntry.h"
#include "StampFile.h"

const QString ManifestStamper::kAuthorityField = QStringLiteral("timestamp.url");
const QString ManifestStamper::kAtField = QStringLiteral("at");

ManifestStamper::ManifestStamper(TimestampSettings settings) : m_client(std::move(settings)) {}

void ManifestStamper::describe(ManifestEntry &first) const
{
    if (enabled())
        first.set(kAuthorityField, m_client.url());
}

void ManifestStamper::stamp(const QString &rawPath, const ManifestEntry &entry)
{
    const QByteArray digest = QByteArray::fromHex(entry.hash().toLatin1());
    if (!enabled() || digest.size() != 32)
        return;
    m_client.stamp(digest, [rawPath](const QByteArray &stamped, const QByteArray &token) {
        if (const std::optional<Failure> failure = StampFile::append(rawPath, {stamped, token}))
            qCWarning(lcJournal).noquote() << "The time stamp of" << stamped.toHex() << "is lost:" << failure->reason;
    });
}
