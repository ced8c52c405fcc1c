#include "ManifestEnd.h"

namespace {
struct CountKey {
    const char *key;
    qint64 StreamCounts::*count;
};
constexpr CountKey kCounts[] = {
    {"lines-too-long", &StreamCounts::linesTooLong},
    {"bytes-too-long", &StreamCounts::bytesTooLong},
    {"lines-past-last-row", &StreamCounts::linesPastLastRow},
    {"cells-past-last-row", &StreamCounts::cellsPastLastRow},
    {"lines-past-last-column", &StreamCounts::linesPastLastColumn},
    {"cells-past-last-column", &StreamCounts::cellsPastLastColumn},
    {"lines-refused", &StreamCounts::linesRefused},
    {"cells-refused", &StreamCounts::cellsRefused},
    {"lines-past-data-columns", &StreamCounts::linesPastDataColumns},
    {"cells-past-data-columns", &StreamCounts::cellsPastDataColumns},
    {"late-writes", &StreamCounts::lateWrites},
    {"cells-written", &StreamCounts::cellsWritten},
};
} // namespace

const QString ManifestEnd::kKind = QStringLiteral("end");

ManifestEntry ManifestEnd::toEntry() const
{
    ManifestEntry entry(kKind);
    entry.setTime(QStringLiteral("stopped"), stopped);
    if (endedWithoutStop)
        entry.set(QStringLiteral("ended-without-stop"), QStringLiteral("yes"));
    entry.set(QStringLiteral("bytes"), bytes);
    entry.set(QStringLiteral("lines"), lines);
    entry.set(QStringLiteral("rows-used"), rowsUsed);
    entry.set(QStringLiteral("sheets"), sheets);
    for (const CountKey &count : kCounts)
        entry.set(QLatin1String(count.key), counts.*count.count);
    entry.set(QStringLiteral("broken-lines-dropped"), brokenLinesDropped);
    entry.set(QStringLiteral("lines-missing"), linesMissing);
    entry.setUnlessEmpty(QStringLiteral("rebuilt"), rebuilt);
    entry.setUnlessEmpty(QStringLiteral("macro"), macro);
    entry.setUnlessEmpty(QStringLiteral("journal-problem"), journalProblem);
    entry.setUnlessEmpty(QStringLiteral("journal-incomplete"), journalIncomplete);
    entry.set(QStringLiteral("raw.sha256"), rawSha256);
    entry.setUnlessEmpty(QStringLiteral("times.sha256"), timesSha256);
    entry.setUnlessEmpty(QStringLiteral("office-version"), officeVersion);
    entry.setUnlessEmpty(QStringLiteral("device"), device);
    entry.setUnlessEmpty(QStringLiteral("adapter"), adapter);
    if (hashedTo >= 0) {
        entry.set(QStringLiteral("hashed-to"), hashedTo);
        entry.set(QStringLiteral("hashed-to.sha256"), hashedToSha256);
    }
    return entry;
}

Result<ManifestEnd> ManifestEnd::fromEntry(const ManifestEntry &entry)
{
    if (entry.kind() != kKind)
        return Failure{QStringLiteral("a \"%1\" entry does not end a run").arg(entry.kind())};
    if (const auto failure = entry.require({QStringLiteral("stopped"), QStringLiteral("raw.sha256")}))
        return *failure;
    ManifestEnd end;
    end.stopped = entry.time(QStringLiteral("stopped"));
    end.endedWithoutStop = entry.value(QStringLiteral("ended-without-stop")) == QStringLiteral("yes");
    end.bytes = entry.number(QStringLiteral("bytes"));
    end.lines = entry.number(QStringLiteral("lines"));
    end.rowsUsed = entry.number(QStringLiteral("rows-used"));
    end.sheets = static_cast<int>(entry.number(QStringLiteral("sheets"), 1));
    for (const CountKey &count : kCounts)
        end.counts.*count.count = entry.number(QLatin1String(count.key));
    end.brokenLinesDropped = entry.number(QStringLiteral("broken-lines-dropped"));
    end.linesMissing = entry.number(QStringLiteral("lines-missing"));
    end.rebuilt = entry.value(QStringLiteral("rebuilt"));
    end.macro = entry.value(QStringLiteral("macro"));
    end.journalProblem = entry.value(QStringLiteral("journal-problem"));
    end.journalIncomplete = entry.value(QStringLiteral("journal-incomplete"));
    end.rawSha256 = entry.value(QStringLiteral("raw.sha256"));
    end.timesSha256 = entry.value(QStringLiteral("times.sha256"));
    end.officeVersion = entry.value(QStringLiteral("office-version"));
    end.device = entry.value(QStringLiteral("device"));
    end.adapter = entry.value(QStringLiteral("adapter"));
    end.hashedTo = entry.number(QStringLiteral("hashed-to"), -1);
    end.hashedToSha256 = entry.value(QStringLiteral("hashed-to.sha256"));
    if (!end.stopped.isValid())
        return Failure{QStringLiteral("its end entry holds a stop that is no time")};
    return end;
}
