#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A run kept in `folder` as Stop leaves it, made with the program's own
// journal and summary: the bytes arrive in one piece at `start`, the summary
// holds the provenance (hashes, user, the link to the run before) and names
// `savedAs` (with its hash) when given. Returns the raw file's path.
QString recordRun(const QString &folder, const QDateTime &start, const QByteArray &bytes, const QString &savedAs = {});
