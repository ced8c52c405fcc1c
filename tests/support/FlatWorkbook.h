#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A flat OpenDocument spreadsheet (.fods) with one empty cell on each of the
// named sheets and, when basic is given, that source as the Basic module
// "Module1" of the library "Standard".
QByteArray flatWorkbook(const QStringList &sheets, const QString &basic = QString());
