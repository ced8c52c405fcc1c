#include "StampCheck.h"

#include "StampFile.h"
#include "TimestampToken.h"

#include <QFileInfo>
#include <QSet>

StampCheck::Outcome StampCheck::check(const QString &rawPath, const QList<Entry> &entries, const QString &caFile,
                                      bool expected)
{
    Outcome out;
    auto fail = [&out](const QString &line) {
        out.lines << line;
        out.lineFailed << true;
        out.failed = true;
    };
    const StampFile::Read read = StampFile::read(rawPath);
    const QString stamps = QFileInfo(StampFile::pathFor(rawPath)).fileName();
    if (!read.failure.isEmpty())
        fail(QStringLiteral("The time stamps cannot be read: ") + read.failure);
    if (read.unreadableLines > 0)
        fail(QStringLiteral("%1 lines of %2 are not time stamps Halvern keeps").arg(read.unreadableLines).arg(stamps));
    if (read.stamps.isEmpty() && !expected)
        return out;
    if (caFile.isEmpty()) {
        fail(QStringLiteral("The time stamps of %1 cannot be checked: the settings name no CA file ([Timestamp] "
                            "CaFile=)")
                 .arg(stamps));
        return out;
    }
    QSet<QByteArray> stamped;
    for (const StampFile::Stamp &stamp : read.stamps) {
        const auto entry = std::find_if(entries.cbegin(), entries.cend(),
                                        [&stamp](const Entry &e) { return e.digest == stamp.digest; });
        if (entry == entries.cend()) {
            fail(QStringLiteral("A time stamp of %1 is for %2, which no entry of the record has now: the record was "
                                "changed after it was stamped")
                     .arg(stamps, QString::fromLatin1(stamp.digest.toHex())));
            continue;
        }
        stamped.insert(stamp.digest);
        const Result<QDateTime> at = TimestampToken::check(stamp.token, stamp.digest, caFile);
        if (!at) {
            fail(QStringLiteral("The time stamp of %1 does not match: %2").arg(entry->label, at.failure().reason));
            continue;
        }
        const qint64 delay = entry->event.secsTo(*at);
        const QString when = at->toString(Qt::ISODate);
        if (!entry->event.isValid())
            fail(QStringLiteral("%1 holds no time its stamp could be held against").arg(entry->label));
        else if (delay > kMostDelaySeconds)
            fail(QStringLiteral("%1 was stamped at %2, %3 minutes after the event it records (%4): the record was "
                                "made again after the fact")
                     .arg(entry->label, when)
                     .arg(delay / 60)
                     .arg(entry->event.toUTC().toString(Qt::ISODate)));
        else {
            out.lines << QStringLiteral("%1 was stamped at %2 by the time-stamping authority").arg(entry->label, when);
            out.lineFailed << false;
        }
    }
    for (const Entry &entry : entries)
        if (!stamped.contains(entry.digest) && expected)
            fail(QStringLiteral("%1 has no time stamp in %2").arg(entry.label, stamps));
    return out;
}
