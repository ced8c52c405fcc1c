#pragma once

#include "Failure.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

// One entry of a run manifest: a kind ("run", "save", "rebuild", "cancel",
// or any other a part of the program adds) and its fields in the order they
// were set. Read back or written, it also knows its place in the chain: the
// SHA-256 of everything in the manifest before it, and its own hash, the
// SHA-256 of everything up to its end (which the next entry holds, and which
// an outside witness stamps).
class ManifestEntry {
public:
    explicit ManifestEntry(QString kind = {});

    const QString &kind() const { return m_kind; }

    // Sets a field, replacing one of the same key; the key must be a name
    // (ManifestText::isName), or the writer refuses the entry.
    void set(const QString &key, const QString &value);
    void set(const QString &key, qint64 value);
    // A time in UTC, ISO 8601 with milliseconds.
    void setTime(const QString &key, const QDateTime &at);
    // Sets a text field unless the value is empty.
    void setUnlessEmpty(const QString &key, const QString &value);
    bool has(const QString &key) const;
    // The value of a field; an empty string when it has none.
    QString value(const QString &key) const;
    // A number field; `fallback` when it has none or it is not a number.
    qint64 number(const QString &key, qint64 fallback = 0) const;
    // A time field in local time; invalid when it has none.
    QDateTime time(const QString &key) const;
    // A Failure naming the first of `keys` the entry has no value for.
    std::optional<Failure> require(const QStringList &keys) const;
    const QList<std::pair<QString, QString>> &fields() const { return m_fields; }

    // Empty until the entry has been read or written.
    const QString &previousHash() const { return m_previousHash; }
    const QString &hash() const { return m_hash; }
    void setChain(const QString &previousHash, const QString &hash);

private:
    QString m_kind;
    QList<std::pair<QString, QString>> m_fields;
    QString m_previousHash;
    QString m_hash;
};
