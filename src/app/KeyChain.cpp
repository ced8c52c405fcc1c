#include "KeyChain.h"

#include "ItemReader.h"

#include <QCoreApplication>
#include <QFile>

QString KeyChain::path() { return QCoreApplication::applicationDirPath() + "/KeyChain.txt"; }

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
