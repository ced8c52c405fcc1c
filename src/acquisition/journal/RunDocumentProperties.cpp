#include "RunDocumentProperties.h"

#include "ProvenanceGatherer.h"

#include <QDateTime>
#include <QFileInfo>

const QString RunDocumentProperties::kRawFileProperty = QStringLiteral("Halvern raw file");

QList<std::pair<QString, QString>> RunDocumentProperties::of(const QString &rawPath)
{
    const QString name = QFileInfo(rawPath).fileName();
    const QDateTime started = QDateTime::fromString(name.left(19), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return {{kRawFileProperty, name},
            {QStringLiteral("Halvern run started"), started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
            {QStringLiteral("Halvern version"), ProvenanceGatherer::programVersion()}};
}
