#pragma once

#include <QByteArray>
#include <QString>

// Whole-file helpers for test set-up: writeFile replaces the file (false
// when it cannot), readFile gives the bytes (empty when it cannot).
bool writeFile(const QString &path, const QByteArray &content);
QByteArray readFile(const QString &path);
