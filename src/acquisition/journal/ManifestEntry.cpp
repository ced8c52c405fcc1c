#include "ManifestEntry.h"

ManifestEntry::ManifestEntry(QString kind) : m_kind(std::move(kind)) {}

void ManifestEntry::set(const QString &key, const QString &value)
{
    for (auto &field : m_fields) {
        if (field.first == key) {
            field.second = value;
            return;
        }
    }
    m_fields.append({key, value});
}

void ManifestEntry::set(const QString &key, qint64 value) { set(key, QString::number(value)); }

bool ManifestEntry::has(const QString &key) const
{
    for (const auto &field : m_fields)
        if (field.first == key)
            return true;
    return false;
}

QString ManifestEntry::value(const QString &key) const
{
    for (const auto &field : m_fields)
        if (field.first == key)
            return field.second;
    return QString();
}

qint64 ManifestEntry::number(const QString &key, qint64 fallback) const
{
    bool ok = false;
    const qint64 n = value(key).toLongLong(&ok);
    return ok ? n : fallback;
}

void ManifestEntry::setChain(const QString &previousHash, const QString &hash)
{
    m_previousHash = previousHash;
    m_hash = hash;
}

void ManifestEntry::setTime(const QString &key, const QDateTime &at)
{
    set(key, at.isValid() ? at.toUTC().toString(Qt::ISODateWithMs) : QString());
}

void ManifestEntry::setUnlessEmpty(const QString &key, const QString &value)
{
    if (!value.isEmpty())
        set(key, value);
}

QDateTime ManifestEntry::time(const QString &key) const
{
    const QDateTime at = QDateTime::fromString(value(key), Qt::ISODateWithMs);
    return at.isValid() ? at.toLocalTime() : at;
}

std::optional<Failure> ManifestEntry::require(const QStringList &keys) const
{
    for (const QString &key : keys)
        if (value(key).isEmpty())
            return Failure{QStringLiteral("its %1 entry has no \"%2\"").arg(m_kind, key)};
    return std::nullopt;
}
