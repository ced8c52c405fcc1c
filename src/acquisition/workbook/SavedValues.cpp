#include "SavedValues.h"

#include "DurableFile.h"
#include "PlainFile.h"
#include "StartingWorkbooks.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>

namespace {
const QByteArray kHeader = QByteArrayLiteral("halvern saved values 1\n");
// Far beyond what a sheet of 1,048,576 rows by 16,384 columns is saved with.
constexpr qint32 kMaxRow = 1 << 20;
constexpr qint32 kMaxColumn = 1 << 14;

enum Kind : quint8 { Text = 0, Number = 1 };

bool isEmpty(const CellValue &value)
{
    const QString *text = std::get_if<QString>(&value);
    return text && text->isEmpty();
}

QString hashOf(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
} // namespace

QString SavedValues::pathFor(const QString &rawPath, const QString &sha256)
{
    QString base = rawPath;
    if (base.endsWith(QStringLiteral(".raw")))
        base.chop(4);
    return base + QStringLiteral(".values-") + sha256;
}

QByteArray SavedValues::encode(const QList<Workbook::SheetValues> &sheets)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << quint32(sheets.size());
    for (const Workbook::SheetValues &sheet : sheets) {
        quint32 cells = 0;
        for (const QList<CellValue> &row : sheet.rows)
            for (const CellValue &value : row)
                cells += isEmpty(value) ? 0 : 1;
        out << sheet.name << cells;
        for (qsizetype r = 0; r < sheet.rows.size(); ++r) {
            for (qsizetype c = 0; c < sheet.rows[r].size(); ++c) {
                const CellValue &value = sheet.rows[r][c];
                if (isEmpty(value))
                    continue;
                out << qint32(r) << qint32(c);
                if (const double *number = std::get_if<double>(&value))
                    out << quint8(Number) << *number;
                else
                    out << quint8(Text) << std::get<QString>(value);
            }
        }
    }
    return kHeader + qCompress(payload);
}

Result<QList<Workbook::SheetValues>> SavedValues::decode(const QByteArray &bytes)
{
    const Failure damaged{QStringLiteral("the saved values are not in Halvern's format")};
    if (!bytes.startsWith(kHeader))
        return damaged;
    const QByteArray payload = qUncompress(bytes.mid(kHeader.size()));
    if (payload.isEmpty())
        return damaged;
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 sheetCount = 0;
    in >> sheetCount;
    QList<Workbook::SheetValues> sheets;
    for (quint32 s = 0; s < sheetCount && in.status() == QDataStream::Ok; ++s) {
        Workbook::SheetValues sheet;
        quint32 cells = 0;
        in >> sheet.name >> cells;
        for (quint32 i = 0; i < cells && in.status() == QDataStream::Ok; ++i) {
            qint32 row = 0;
            qint32 column = 0;
            quint8 kind = 0;
            in >> row >> column >> kind;
            if (row < 0 || row >= kMaxRow || column < 0 || column >= kMaxColumn || kind > Number)
                return damaged;
            CellValue value;
            if (kind == Number) {
                double number = 0;
                in >> number;
                value = number;
            } else {
                QString text;
                in >> text;
                value = text;
            }
            if (sheet.rows.size() <= row)
                sheet.rows.resize(row + 1);
            QList<CellValue> &cells = sheet.rows[row];
            while (cells.size() <= column)
                cells.append(QString());
            cells[column] = value;
        }
        sheets.append(sheet);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return damaged;
    return sheets;
}

Result<QString> SavedValues::keep(const QString &rawPath, const QList<Workbook::SheetValues> &sheets)
{
    const QByteArray bytes = encode(sheets);
    const QString sha256 = hashOf(bytes);
    if (std::optional<Failure> failure = DurableFile::replace(pathFor(rawPath, sha256), bytes))
        return *failure;
    return sha256;
}

Result<QList<Workbook::SheetValues>> SavedValues::load(const QString &rawPath, const QString &sha256)
{
    if (!StartingWorkbooks::isHash(sha256))
        return Failure{QStringLiteral("not a SHA-256: ") + sha256};
    const QString path = pathFor(rawPath, sha256);
    const Result<QByteArray> bytes = PlainFile::readAll(path);
    if (!bytes)
        return Failure{QStringLiteral("the values as saved cannot be read: ") + bytes.failure().reason};
    if (hashOf(*bytes) != sha256)
        return Failure{QStringLiteral("the values as saved have changed since the save: ") + path};
    return decode(*bytes);
}
