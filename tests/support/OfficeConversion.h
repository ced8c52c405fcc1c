#pragma once

#include <QString>
#include <QStringList>

// Converts files with a separate headless office (its own profile and home, so
// it never meets an office under test): soffice --convert-to filter --outdir
// outDir files. True when the office finished in time.
bool convertWithSeparateOffice(const QStringList &files, const QString &filter, const QString &outDir);
