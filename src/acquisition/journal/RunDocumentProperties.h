#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <utility>

// The custom document properties every saved workbook of a run carries: the
// raw file's name and hash, the start and the version.
class RunDocumentProperties {
public:
    static QList<std::pair<QString, QString>> of(const QString &rawPath, const QString &rawSha256);
    // The same for a workbook --replay makes, which also says so and when:
    // its record, since the run's summary never names it.
    static QList<std::pair<QString, QString>> ofReplay(const QString &rawPath, const QString &rawSha256,
                                                       const QDateTime &at);
    static const QString kRawFileProperty;
    static const QString kRawHashProperty;
    static const QString kReplayProperty;
};
