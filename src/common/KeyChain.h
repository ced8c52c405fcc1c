#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// KeyChain.txt in the program folder: item 1 the product name, items 2 and 3
// the product and company folder names of the firmware log.
class KeyChain {
public:
    static QString path(const QString &programFolder); // programFolder + "/KeyChain.txt"

    // Reads the first `count` items. Returns false when the file cannot be
    // opened. Items that cannot be read (short file, read error) are empty.
    static bool readItems(const QString &path, int count, QList<QByteArray> *items);
};
