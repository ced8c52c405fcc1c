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
    QString error;
    p.rawSha256 = rawSha256.isEmpty() ? FileDigest::sha256(rawPath, &error) : rawSha256;
    if (p.rawSha256.isEmpty())
        qCWarning(lcJournal) << "cannot hash" << rawPath << ":" << error;
    const QString times = RunFiles::timesPathFor(rawPath);
    if (!timesSha256.isEmpty()) {
        p.timesSha256 = timesSha256;
    } else if (QFileInfo::exists(times)) {
        p.timesSha256 = FileDigest::sha256(times, &error);
        if (p.timesSha256.isEmpty())
            qCWarning(lcJournal) << "cannot hash" << times << ":" << error;
    }
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
    QString error;
    const QString digest = FileDigest::sha256(path, &error);
    if (digest.isEmpty())
        qCWarning(lcJournal) << "cannot hash the saved workbook" << path << ":" << error;
    p.saved.append({path, RunProvenance::noneIfEmpty(digest)});
}
