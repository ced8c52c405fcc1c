#pragma once

#include <QString>

// `halvern --replay RAWFILE --save-as FILE [--macro NAME]`: rebuilds the
// workbook of a run from its journal in a headless office, from a fresh copy
// of the master in `programFolder`, runs the macro when one is named, and
// saves it as FILE (".xls", ".xlsx" or ".ods" by its extension). Messages go
// to standard error; returns the exit status (0 saved, 1 not).
int replayCommand(const QString &rawPath, const QString &saveAs, const QString &macro, const QString &programFolder);
