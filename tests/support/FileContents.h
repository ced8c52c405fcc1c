#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file, creating its folder; a failure counts against the
// running test.
void writeFile(const QString &path, const QByteArray &content);

// A whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
