#pragma once

#include "Failure.h"
#include "Result.h"
#include "Workbook.h"

#include <QByteArray>
#include <QString>

// What a workbook held when Halvern saved it: every non-empty cell of every
// sheet, the macro's cells included, kept compressed beside the run as
// "<base>.values-<SHA-256 of the file>". The run's record names the file by
// that hash. This class alone writes and reads the format:
//   "halvern saved values 1\n", then zlib (qCompress) of a QDataStream
//   (Qt 6.0, big-endian): sheet count, then per sheet its name and cell
//   count, and per cell row, column (both from 0), kind (0 text, 1 number)
//   and the text or the double.
class SavedValues {
public:
    static QString pathFor(const QString &rawPath, const QString &sha256);

    // Keeps `sheets` beside the run of `rawPath`; the file's SHA-256.
    static Result<QString> keep(const QString &rawPath, const QList<Workbook::SheetValues> &sheets);
    // The values kept under that hash, row by row as Workbook::values() gives
    // them (an empty cell is empty text); a failure when the file is missing
    // or no longer holds what its hash says.
    static Result<QList<Workbook::SheetValues>> load(const QString &rawPath, const QString &sha256);

    static QByteArray encode(const QList<Workbook::SheetValues> &sheets);
    static Result<QList<Workbook::SheetValues>> decode(const QByteArray &bytes);
};
