#include "RunDocumentProperties.h"

#include "ProvenanceGatherer.h"

#include <QDateTime>
#include <QFileInfo>

const QString RunDocumentProperties::kRawFileProperty = QStringLiteral("Halvern raw file");
const QString RunDocumentProperties::kRawHashProperty = QStringLiteral("Halvern raw SHA-256");
const QString RunDocumentProperties::kReplayProperty = QStringLiteral("Halvern replay made");

QList<std::pair<QString, QString>> RunDocumentProperties::of(const QString &rawPath, const QString &rawSha256)
{
    const QString name = QFileInfo(rawPath).fileName();
    const QDateTime started = QDateTime::fromString(name.left(19), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return {{kRawFileProperty, name},
            {kRawHashProperty, rawSha256},
            {QStringLiteral("Halvern run started"), started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
            {QStringLiteral("Halvern version"), ProvenanceGatherer::programVersion()}};
}

QList<std::pair<QString, QString>> RunDocumentProperties::ofReplay(const QString &rawPath, const QString &rawSha256,
                                                                   const QDateTime &at)
{
    QList<std::pair<QString, QString>> properties = of(rawPath, rawSha256);
    properties.append({kReplayProperty, at.toUTC().toString(Qt::ISODate)});
    return properties;
}
