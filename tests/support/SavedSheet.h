#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The first sheet of a saved workbook as the texts its cells show, read by
// converting the file to CSV with a separate headless office.
class SavedSheet {
public:
    // Cell text at (row, column), both counted from 1; empty outside the data.
    QString at(int row, int column) const;
    int rowCount() const { return int(rows.size()); }
    bool isEmpty() const { return rows.isEmpty(); }

    QList<QStringList> rows;

    // A cell holding a time of day in hours, as a block's first row does.
    static bool isHours(const QString &text);

    // Reads one workbook; an empty sheet when the conversion failed.
    static SavedSheet read(const QString &path);
    // Reads several workbooks with one office start, in the order given.
    static QList<SavedSheet> read(const QStringList &paths);
};
