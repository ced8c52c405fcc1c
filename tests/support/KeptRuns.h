#pragma once

#include "RunSummary.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// A kept run as a run leaves it in its journal folder: "<base>.raw" with the
// bytes, "<base>.times" noting that they all arrived at `arrived`, and, when
// `summary` is given, "<base>.summary.txt" (with the raw file's path and
// size filled in). Returns the raw file's path.
QString writeKeptRun(const QString &folder, const QString &base, const QByteArray &bytes,
                     std::optional<RunSummary> summary = {}, const QDateTime &arrived = {});

// The summary Stop writes on COM5 (stamps as yyyy-MM-dd HH:mm:ss).
RunSummary stopSummary(const QString &started, const QString &stopped, int lines, const QString &savedAs,
                       const QString &device = {});
