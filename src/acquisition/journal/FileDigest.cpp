#include "FileDigest.h"

#include <QCryptographicHash>
#include "PlainFile.h"

#include <QFile>

namespace {
constexpr qint64 kPiece = 1024 * 1024;
}

Result<QString> FileDigest::sha256(const QString &path, const std::atomic<bool> *cancel)
{
    const Result<std::unique_ptr<QFile>> opened = PlainFile::open(path, PlainFile::Mode::Read);
    if (!opened)
        return opened.failure();
    QFile &file = **opened;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load())
            return Failure{QStringLiteral("cancelled")};
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0)
            return Failure{file.errorString()};
        if (n == 0)
            break;
        hash.addData(QByteArrayView(piece.constData(), n));
    }
    return QString::fromLatin1(hash.result().toHex());
}
