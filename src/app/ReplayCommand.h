#pragma once

#include <QString>

// `halvern --replay RAWFILE --save-as FILE [--macro NAME]`: rebuilds the
// workbook of a run from its journal as a rebuild at Stop does (see
// WorkbookRebuild), its copy beside FILE, runs the macro when one is named,
// and saves it as FILE (".xls", ".xlsx" or ".ods" by its extension). What is
// wrong with the command is told before any office starts. Messages go to
// standard error; returns the exit status (0 saved, 1 not).
int replayCommand(const QString &rawPath, const QString &saveAs, const QString &macro, const QString &programFolder);
