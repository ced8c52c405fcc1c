#pragma once

#include <QString>

// `halvern --verify FILE` (a saved workbook, or a run's ".raw") and
// `halvern --verify-runs`: what was found, one plain line each, on standard
// output, against the runs in `runsFolder`. Returns the exit status: 0 all
// matches, 1 something does not, 2 it cannot be told.
int verifyCommand(const QString &file, const QString &runsFolder, const QString &programFolder);
int verifyRunsCommand(const QString &runsFolder);
