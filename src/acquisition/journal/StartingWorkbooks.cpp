#include "StartingWorkbooks.h"

#include "DurableFile.h"
#include "PlainFile.h"
#include "LogCategories.h"
#include "ManifestRun.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "PrivateFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
QString hashOf(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString suffixOf(const QString &path)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,8}$"));
    const QString suffix = QFileInfo(path).suffix().toLower();
    return plain.match(suffix).hasMatch() ? suffix : QStringLiteral("bin");
}
} // namespace

StartingWorkbooks::StartingWorkbooks(const QString &runsFolder)
    : m_folder(QDir(runsFolder).filePath(QStringLiteral("starting")))
{
}

bool StartingWorkbooks::isHash(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

Result<QString> StartingWorkbooks::keep(const QString &path) const
{
    Result<QByteArray> bytes = PlainFile::readAll(path);
    if (!bytes)
        return bytes.failure();
    const QString sha256 = hashOf(*bytes);
    if (find(sha256))
        return sha256;
    if (!PrivateFolder::make(m_folder))
        return Failure{QStringLiteral("cannot make the folder ") + m_folder};
    if (std::optional<Failure> failure = DurableFile::replace(m_folder + '/' + sha256 + '.' + suffixOf(path), *bytes))
        return *failure;
    return sha256;
}

Result<QString> StartingWorkbooks::find(const QString &sha256) const
{
    if (!isHash(sha256))
        return Failure{QStringLiteral("not a SHA-256: ") + sha256};
    const QStringList names = QDir(m_folder).entryList({sha256 + QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (name.contains(QStringLiteral(".part-")))
            continue;
        const QString path = m_folder + '/' + name;
        const Result<QByteArray> bytes = PlainFile::readAll(path);
        if (!bytes) {
            qCWarning(lcJournal).noquote() << "the kept starting workbook cannot be read:" << bytes.failure().reason;
            continue;
        }
        if (hashOf(*bytes) == sha256)
            return path;
        qCWarning(lcJournal) << "the kept starting workbook" << path << "no longer holds the content of its name";
    }
    return Failure{QStringLiteral("the starting workbook %1 is not kept in %2").arg(sha256, m_folder)};
}

Result<QString> StartingWorkbooks::forRun(const QString &rawPath)
{
    const QString manifestPath = RunManifest::pathFor(rawPath);
    if (!QFileInfo::exists(manifestPath))
        return QString();
    const Result<RunManifest> manifest = RunManifestReader::read(manifestPath);
    if (!manifest)
        return Failure{QStringLiteral("the run's manifest cannot be read: ") + manifest.failure().reason};
    const ManifestEntry *run = manifest->first(ManifestRun::kKind);
    const QString sha256 = run ? run->value(QStringLiteral("starting-workbook.sha256")) : QString();
    if (sha256.isEmpty())
        return QString();
    return StartingWorkbooks(QFileInfo(rawPath).absolutePath()).find(sha256);
}
