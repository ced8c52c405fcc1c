#include "ManifestRun.h"

#include "LogCategories.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "ProvenanceGatherer.h"
#include "RunOrder.h"

#include <QFileInfo>
#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {
void readUser(ManifestRun &run)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        run.login = QString::fromLocal8Bit(found->pw_name);
        // The GECOS field: the full name, then office and telephone after commas.
        run.fullName = QString::fromLocal8Bit(found->pw_gecos).section(',', 0, 0).trimmed();
    } else {
        run.login = qEnvironmentVariable("USER");
        qCWarning(lcJournal) << "no password entry for user" << ::getuid() << "; the login is taken from $USER";
    }
}
} // namespace

const QString ManifestRun::kKind = QStringLiteral("run");

ManifestRun ManifestRun::gather(const QString &rawPath, const QDateTime &started, int comNumber)
{
    ManifestRun run;
    run.started = started;
    run.comNumber = comNumber;
    run.rawName = QFileInfo(rawPath).fileName();
    readUser(run);
    run.host = QSysInfo::machineHostName();
    run.halvernVersion = ProvenanceGatherer::programVersion();
    const QFileInfo self(rawPath);
    const QStringList runs = RunOrder::runsInStartOrder(self.absolutePath());
    const qsizetype at = runs.indexOf(self.absoluteFilePath());
    if (at <= 0)
        return run;
    run.previousRun = QFileInfo(runs[at - 1]).fileName();
    const QString previous = RunManifest::pathFor(runs[at - 1]);
    if (!QFileInfo::exists(previous))
        return run; // kept by an older Halvern
    const Result<RunManifest> manifest = RunManifestReader::read(previous);
    if (!manifest) {
        // Linked as it is not: the check names the run before as damaged.
        qCWarning(lcJournal) << "the run before" << rawPath << "has no manifest to link:" << manifest.failure().reason;
        return run;
    }
    run.previousEntries = manifest->entries.size();
    run.previousSha256 = manifest->hash();
    return run;
}

ManifestEntry ManifestRun::toEntry() const
{
    ManifestEntry entry(kKind);
    entry.setTime(QStringLiteral("started"), started);
    entry.set(QStringLiteral("port"), comNumber);
    entry.setUnlessEmpty(QStringLiteral("device"), device);
    entry.set(QStringLiteral("raw"), rawName);
    entry.setUnlessEmpty(QStringLiteral("login"), login);
    entry.setUnlessEmpty(QStringLiteral("full-name"), fullName);
    entry.setUnlessEmpty(QStringLiteral("host"), host);
    entry.setUnlessEmpty(QStringLiteral("halvern-version"), halvernVersion);
    entry.setUnlessEmpty(QStringLiteral("adapter"), adapter);
    entry.setUnlessEmpty(QStringLiteral("starting-workbook.sha256"), startingWorkbookSha256);
    if (!previousRun.isEmpty()) {
        entry.set(QStringLiteral("previous.run"), previousRun);
        entry.set(QStringLiteral("previous.entries"), previousEntries);
        entry.setUnlessEmpty(QStringLiteral("previous.sha256"), previousSha256);
    }
    return entry;
}

Result<ManifestRun> ManifestRun::fromEntry(const ManifestEntry &entry)
{
    if (entry.kind() != kKind)
        return Failure{QStringLiteral("it opens with a \"%1\" entry, not the run's").arg(entry.kind())};
    if (const auto failure = entry.require({QStringLiteral("started"), QStringLiteral("port"), QStringLiteral("raw")}))
        return *failure;
    ManifestRun run;
    run.started = entry.time(QStringLiteral("started"));
    run.comNumber = static_cast<int>(entry.number(QStringLiteral("port")));
    run.device = entry.value(QStringLiteral("device"));
    run.rawName = entry.value(QStringLiteral("raw"));
    run.login = entry.value(QStringLiteral("login"));
    run.fullName = entry.value(QStringLiteral("full-name"));
    run.host = entry.value(QStringLiteral("host"));
    run.halvernVersion = entry.value(QStringLiteral("halvern-version"));
    run.adapter = entry.value(QStringLiteral("adapter"));
    run.startingWorkbookSha256 = entry.value(QStringLiteral("starting-workbook.sha256"));
    run.previousRun = entry.value(QStringLiteral("previous.run"));
    run.previousEntries = entry.number(QStringLiteral("previous.entries"));
    run.previousSha256 = entry.value(QStringLiteral("previous.sha256"));
    if (!run.started.isValid())
        return Failure{QStringLiteral("its run entry holds a start that is no time")};
    return run;
}
