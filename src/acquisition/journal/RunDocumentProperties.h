#pragma once

#include <QList>
#include <QString>
#include <utility>

// The custom document properties every saved workbook of a run carries: the
// raw file's name (by which --verify finds the run), the start and the
// version.
class RunDocumentProperties {
public:
    static QList<std::pair<QString, QString>> of(const QString &rawPath);
    static const QString kRawFileProperty;
};
