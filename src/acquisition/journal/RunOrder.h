#pragma once

#include <QString>
#include <QStringList>

// The order of the runs in a runs folder.
class RunOrder {
public:
    // The raw files of the runs in `folder`, oldest first (the catalogue's
    // order, without reading a summary): the order of the chain.
    static QStringList runsInStartOrder(const QString &folder);
};
