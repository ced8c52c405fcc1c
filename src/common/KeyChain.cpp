#include "KeyChain.h"

#include "ItemReader.h"

#include <QFile>

QString KeyChain::path(const QString &programFolder) { return programFolder + QStringLiteral("/KeyChain.txt"); }

bool KeyChain::readItems(const QString &path, int count, QList<QByteArray> *items)
{
    items->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    ItemReader reader(&file);
    for (int i = 0; i < count; ++i) {
        QByteArray item = reader.next();
        items->append(reader.readError() ? QByteArray() : item);
    }
    return true;
}
