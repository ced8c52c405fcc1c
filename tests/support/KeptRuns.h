#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A kept run as a run leaves it in its journal folder: "<base>.raw" with the
// bytes, "<base>.times" noting that they all arrived at `arrived`, and, when
// `summary` is given, "<base>.summary.txt". Returns the raw file's path.
QString writeKeptRun(const QString &folder, const QString &base, const QByteArray &bytes, const QString &summary = {},
                     const QDateTime &arrived = {});

// The summary Stop writes, with the lines a listing reads.
QString stopSummary(const QString &started, const QString &stopped, int lines, const QString &savedAs,
                    const QString &device = {});
