#include "FileDigest.h"

#include <QCryptographicHash>
#include "PlainFile.h"

#include <QFile>

namespace {
constexpr qint64 kPiece = 1024 * 1024;
}

QString FileDigest::sha256(const QString &path, QString *error, const std::atomic<bool> *cancel)
{
    const Result<std::unique_ptr<QFile>> opened = PlainFile::open(path, PlainFile::Mode::Read);
    if (!opened) {
        if (error)
            *error = opened.failure().reason;
        return QString();
    }
    QFile &file = **opened;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load())
            return QString();
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0) {
            if (error)
                *error = file.errorString();
            return QString();
        }
        if (n == 0)
            break;
        hash.addData(QByteArrayView(piece.constData(), n));
    }
    return QString::fromLatin1(hash.result().toHex());
}
