#include "ProvenanceGatherer.h"

#include "FileDigest.h"
#include "LogCategories.h"
#include "RunFiles.h"
#include "SummaryChain.h"

#include <QFileInfo>
#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {
void readUser(RunProvenance &p)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        p.login = QString::fromLocal8Bit(found->pw_name);
        // The GECOS field: the full name, then office and telephone after commas.
        p.fullName = QString::fromLocal8Bit(found->pw_gecos).section(',', 0, 0).trimmed();
    } else {
        p.login = qEnvironmentVariable("USER");
        qCWarning(lcJournal) << "no password entry for user" << ::getuid() << "; the login is taken from $USER";
    }
}
} // namespace

QString ProvenanceGatherer::programVersion() { return QStringLiteral(HALVERN_VERSION); }

RunProvenance ProvenanceGatherer::gather(const QString &rawPath, const QString &rawSha256, const QString &timesSha256)
{
    RunProvenance p;
    if (rawPath.isEmpty())
        return p; // no journal: nothing to vouch for
    // A file that cannot be hashed is logged and left without its hash.
    auto hashOf = [](const QString &path) {
        const Result<QString> digest = FileDigest::sha256(path);
        if (!digest)
            qCWarning(lcJournal) << "cannot hash" << path << ":" << digest.failure().reason;
        return digest ? *digest : QString();
    };
    p.rawSha256 = rawSha256.isEmpty() ? hashOf(rawPath) : rawSha256;
    const QString times = RunFiles::timesPathFor(rawPath);
    if (!timesSha256.isEmpty())
        p.timesSha256 = timesSha256;
    else if (QFileInfo::exists(times))
        p.timesSha256 = hashOf(times);
    readUser(p);
    p.host = QSysInfo::machineHostName();
    p.halvernVersion = programVersion();

    SummaryChain::linkToPrevious(p, rawPath);
    return p;
}

void ProvenanceGatherer::addSaved(RunProvenance &p, const QString &path)
{
    if (path.isEmpty())
        return;
    const Result<QString> digest = FileDigest::sha256(path);
    if (!digest)
        qCWarning(lcJournal) << "cannot hash the saved workbook" << path << ":" << digest.failure().reason;
    p.saved.append({path, RunProvenance::noneIfEmpty(digest ? *digest : QString())});
}
