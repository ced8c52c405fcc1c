#include "SavedSheet.h"

#include "OfficeConversion.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QList<QStringList> parseCsv(const QByteArray &data)
{
    QList<QStringList> rows;
    const QString text = QString::fromUtf8(data);
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                field += c; // a quoted field may hold a line break
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.append(field);
            field.clear();
        } else if (c == '\n') {
            fields.append(field);
            rows.append(fields);
            fields.clear();
            field.clear();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.isEmpty() || !fields.isEmpty()) {
        fields.append(field);
        rows.append(fields);
    }
    return rows;
}

} // namespace

QString SavedSheet::at(int row, int column) const
{
    if (row < 1 || row > rows.size() || column < 1 || column > rows[row - 1].size())
        return QString();
    return rows[row - 1][column - 1];
}

bool SavedSheet::isHours(const QString &text)
{
    bool ok = false;
    const double hours = text.toDouble(&ok);
    return ok && hours >= 0 && hours <= 24;
}

SavedSheet SavedSheet::read(const QString &path) { return read(QStringList{path}).value(0); }

QList<SavedSheet> SavedSheet::read(const QStringList &paths)
{
    QList<SavedSheet> sheets;
    QTemporaryDir dir;
    // Each input gets a distinct name, so equal base names cannot clash; the
    // suffix stays, so an .xlsx or .ods is not taken for an .xls.
    QStringList inputs;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString copy = dir.path() + QStringLiteral("/sheet%1.").arg(i) + QFileInfo(paths[i]).suffix();
        QFile::copy(paths[i], copy);
        inputs.append(copy);
    }
    convertWithSeparateOffice(inputs, "csv:Text - txt - csv (StarCalc):44,34,76,1", dir.path() + "/csv");
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        SavedSheet sheet;
        QFile csv(dir.path() + QStringLiteral("/csv/sheet%1.csv").arg(i));
        if (QFileInfo::exists(paths[i]) && csv.open(QIODevice::ReadOnly))
            sheet.rows = parseCsv(csv.readAll());
        sheets.append(sheet);
    }
    return sheets;
}
