#include "RunDocumentProperties.h"

#include "FileDigest.h"
#include "LogCategories.h"
#include "ProvenanceGatherer.h"

#include <QDateTime>
#include <QFileInfo>

const QString RunDocumentProperties::kRawFileProperty = QStringLiteral("Halvern raw file");
const QString RunDocumentProperties::kRawHashProperty = QStringLiteral("Halvern raw SHA-256");
const QString RunDocumentProperties::kReplayProperty = QStringLiteral("Halvern replay made");

QList<std::pair<QString, QString>> RunDocumentProperties::of(const QString &rawPath,
                                                             const std::optional<QString> &rawSha256)
{
    QString hash;
    if (rawSha256) {
        hash = *rawSha256;
    } else if (const Result<QString> hashed = FileDigest::sha256(rawPath)) {
        hash = *hashed;
    } else {
        qCWarning(lcJournal).noquote() << "cannot hash the journal" << rawPath
                                       << "for the workbook:" << hashed.failure().reason;
    }
    const QString name = QFileInfo(rawPath).fileName();
    const QDateTime started = QDateTime::fromString(name.left(19), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return {{kRawFileProperty, name},
            {kRawHashProperty, hash},
            {QStringLiteral("Halvern run started"), started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
            {QStringLiteral("Halvern version"), ProvenanceGatherer::programVersion()}};
}

QList<std::pair<QString, QString>> RunDocumentProperties::ofReplay(const QString &rawPath, const QDateTime &at)
{
    QList<std::pair<QString, QString>> properties = of(rawPath);
    properties.append({kReplayProperty, at.toUTC().toString(Qt::ISODate)});
    return properties;
}
