#include "KeptRuns.h"

#include "FileContents.h"

QString writeKeptRun(const QString &folder, const QString &base, const QByteArray &bytes, const QString &summary,
                     const QDateTime &arrived)
{
    const QString raw = folder + '/' + base + ".raw";
    writeFile(raw, bytes);
    const QDateTime at = arrived.isValid() ? arrived : QDateTime::fromString(base.left(19), "yyyy-MM-dd_HH-mm-ss");
    writeFile(folder + '/' + base + ".times",
              "# halvern run journal 1\n0 " + at.toString("yyyy-MM-ddTHH:mm:ss.zzz").toLatin1() + '\n');
    if (!summary.isEmpty())
        writeFile(folder + '/' + base + ".summary.txt", summary.toUtf8());
    return raw;
}

QString stopSummary(const QString &started, const QString &stopped, int lines, const QString &savedAs,
                    const QString &device)
{
    return "Halvern run\nStarted: " + started + "\nStopped: " + stopped + "\nPort: COM5"
           + (device.isEmpty() ? QString() : " (" + device + ")") + "\nLines received: " + QString::number(lines)
           + "\nWorkbook saved as: " + (savedAs.isEmpty() ? "(not saved)" : savedAs) + "\n";
}
