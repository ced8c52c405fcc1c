#include "ManifestStamper.h"

#include "LogCategories.h"
#include "ManifestEntry.h"
#include "StampFile.h"

#include <QThread>

ManifestStamper::ManifestStamper(TimestampSettings settings) : m_client(std::move(settings)) {}

void ManifestStamper::stamp(const QString &rawPath, const ManifestEntry &entry)
{
    const QByteArray digest = QByteArray::fromHex(entry.hash().toLatin1());
    if (!enabled() || digest.size() != 32)
        return;
    auto ask = [this, rawPath, digest] {
        m_client.stamp(digest, [rawPath](const QByteArray &stamped, const QByteArray &token) {
            if (const std::optional<Failure> failure = StampFile::append(rawPath, {stamped, token}))
                qCWarning(lcJournal).noquote()
                    << "The time stamp of" << stamped.toHex() << "is lost:" << failure->reason;
        });
    };
    // The client's network lives on its own thread: an entry written on
    // another is handed over, never waited for.
    if (QThread::currentThread() == m_client.thread())
        ask();
    else
        QMetaObject::invokeMethod(&m_client, ask, Qt::QueuedConnection);
}

void ManifestStamper::witness(const QString &manifestPath, const ManifestEntry &entry)
{
    QString base = manifestPath;
    if (base.endsWith(QStringLiteral(".manifest")))
        base.chop(int(QStringLiteral(".manifest").size()));
    stamp(base + QStringLiteral(".raw"), entry);
}
