#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A run kept in `folder` as Stop leaves it, made through the run's own record
// (RunRecord): the bytes arrive in one piece at `start`, the manifest holds
// the run's entry (who, where, the link to the run before), its end with the
// journal's hashes, and `savedAs` with its hash when given. Returns the raw
// file's path.
QString recordRun(const QString &folder, const QDateTime &start, const QByteArray &bytes, const QString &savedAs = {});

// A run as a Halvern before the manifest kept it: journal without
// checkpoints and a summary with its hash lines. Returns the raw file's path.
QString recordOlderRun(const QString &folder, const QDateTime &start, const QByteArray &bytes);
