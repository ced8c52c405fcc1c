#include "RunSummary.h"

QString RunSummary::text() const
{
    const QString stamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    QString text;
    text += QStringLiteral("Halvern run\n");
    text += QStringLiteral("Started: ") + started.toString(stamp) + '\n';
    if (endedWithoutStop)
        text += QStringLiteral("Ended without Stop (Halvern or the computer stopped); last byte received: ")
                + stopped.toString(stamp) + '\n';
    else
        text += QStringLiteral("Stopped: ") + stopped.toString(stamp) + '\n';
    text += QStringLiteral("Port: COM") + QString::number(comNumber)
            + (device.isEmpty() ? QString() : QStringLiteral(" (") + device + ')') + '\n';
    text += QStringLiteral("Bytes received: ") + QString::number(bytes) + '\n';
    text += QStringLiteral("Lines received: ") + QString::number(lines) + '\n';
    if (!endedWithoutStop) {
        text += QStringLiteral("Rows used: ") + QString::number(rowsUsed)
                + (sheets > 1 ? QStringLiteral(" (in %1 sheets)").arg(sheets) : QString()) + '\n';
        text += QStringLiteral("Cells written: ") + QString::number(counts.cellsWritten) + '\n';
    }
    text += rebuilt;
    text += macro;
    auto lost = [&text](const char *why, qint64 lines, qint64 cells) {
        if (lines > 0)
            text += QStringLiteral("Lines not written in full, %1: %2 (%3 cells)\n")
                        .arg(QLatin1String(why))
                        .arg(lines)
                        .arg(cells);
    };
    lost("longer than 1 MiB without a line end", counts.linesTooLong, 0);
    lost("past the sheet's last row", counts.linesPastLastRow, counts.cellsPastLastRow);
    lost("past the sheet's last column", counts.linesPastLastColumn, counts.cellsPastLastColumn);
    lost("refused by the spreadsheet", counts.linesRefused, counts.cellsRefused);
    lost("fields past column 256 of a data line, left out by design", counts.linesPastDataColumns,
         counts.cellsPastDataColumns);
    if (brokenLinesDropped > 0)
        text += QStringLiteral("Unfinished lines left out when the port was lost: ")
                + QString::number(brokenLinesDropped) + '\n';
    if (linesMissing > 0)
        text += QStringLiteral("Lines missing from the workbook (the spreadsheet closed or stopped answering): ")
                + QString::number(linesMissing) + '\n';
    text +=
        QStringLiteral("Workbook saved as: ") + (savedAs.isEmpty() ? QStringLiteral("(not saved)") : savedAs) + '\n';
    if (!alsoSavedAs.isEmpty())
        text += QStringLiteral("Whole workbook also saved as: ") + alsoSavedAs + '\n';
    text += QStringLiteral("Raw bytes: ") + rawPath + '\n';
    if (!journalProblem.isEmpty())
        text += QStringLiteral("Journal problem: ") + journalProblem + '\n';
    text += journalIncomplete;
    text += provenance.text();
    return text;
}
