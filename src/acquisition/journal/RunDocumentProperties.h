#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// The custom document properties every saved workbook of a run carries: the
// raw file's name and hash, the start and the version. The hash, when the
// caller has none, is taken here; a journal that cannot be read is logged and
// its hash left empty.
class RunDocumentProperties {
public:
    static QList<std::pair<QString, QString>> of(const QString &rawPath,
                                                 const std::optional<QString> &rawSha256 = std::nullopt);
    // The same for a workbook --replay makes, which also says so and when:
    // its record, since the run's summary never names it.
    static QList<std::pair<QString, QString>> ofReplay(const QString &rawPath, const QDateTime &at);
    static const QString kRawFileProperty;
    static const QString kRawHashProperty;
    static const QString kReplayProperty;
};
