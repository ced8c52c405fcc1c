#include "RunSummary.h"

namespace {
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kTitle = QStringLiteral("Halvern run");
const QString kStarted = QStringLiteral("Started: ");
const QString kEndedWithoutStop =
    QStringLiteral("Ended without Stop (Halvern or the computer stopped); last byte received: ");
const QString kStopped = QStringLiteral("Stopped: ");
const QString kPort = QStringLiteral("Port: COM");
const QString kBytes = QStringLiteral("Bytes received: ");
const QString kLines = QStringLiteral("Lines received: ");
const QString kRowsUsed = QStringLiteral("Rows used: ");
const QString kCellsWritten = QStringLiteral("Cells written: ");
const QString kRebuilt = QStringLiteral("Workbook rebuilt from the journal: ");
const QString kMacro = QStringLiteral("User macro: ");
const QString kNotInFull = QStringLiteral("Lines not written in full, %1: ");
const QString kBrokenDropped = QStringLiteral("Unfinished lines left out when the port was lost: ");
const QString kMissing =
    QStringLiteral("Lines missing from the workbook (the spreadsheet closed or stopped answering): ");
const QString kSavedAs = QStringLiteral("Workbook saved as: ");
const QString kNotSaved = QStringLiteral("(not saved)");
const QString kAlsoSavedAs = QStringLiteral("Whole workbook also saved as: ");
const QString kRawBytes = QStringLiteral("Raw bytes: ");
const QString kJournalProblem = QStringLiteral("Journal problem: ");
const QString kJournalIncomplete = QStringLiteral("Journal incomplete: ");

// The lines written for what did not reach the workbook in full, with the
// counts each names.
struct Lost {
    const char *why;
    qint64 StreamParser::Counts::*lines;
    qint64 StreamParser::Counts::*cells; // nullptr: always 0 cells
};
constexpr Lost kLost[] = {
    {"longer than 1 MiB without a line end", &StreamParser::Counts::linesTooLong, nullptr},
    {"past the sheet's last row", &StreamParser::Counts::linesPastLastRow, &StreamParser::Counts::cellsPastLastRow},
    {"past the sheet's last column", &StreamParser::Counts::linesPastLastColumn,
     &StreamParser::Counts::cellsPastLastColumn},
    {"refused by the spreadsheet", &StreamParser::Counts::linesRefused, &StreamParser::Counts::cellsRefused},
    {"fields past column 256 of a data line, left out by design", &StreamParser::Counts::linesPastDataColumns,
     &StreamParser::Counts::cellsPastDataColumns},
};

bool readNumber(const QString &text, qint64 &into)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        into = value;
    return ok;
}
} // namespace

QString RunSummary::text() const
{
    QString text;
    text += kTitle + '\n';
    text += kStarted + started.toString(kStamp) + '\n';
    if (endedWithoutStop)
        text += kEndedWithoutStop + stopped.toString(kStamp) + '\n';
    else
        text += kStopped + stopped.toString(kStamp) + '\n';
    text += kPort + QString::number(comNumber) + (device.isEmpty() ? QString() : QStringLiteral(" (") + device + ')')
            + '\n';
    text += kBytes + QString::number(bytes) + '\n';
    text += kLines + QString::number(lines) + '\n';
    if (!endedWithoutStop) {
        text += kRowsUsed + QString::number(rowsUsed)
                + (sheets > 1 ? QStringLiteral(" (in %1 sheets)").arg(sheets) : QString()) + '\n';
        text += kCellsWritten + QString::number(counts.cellsWritten) + '\n';
    }
    text += rebuilt;
    text += macro;
    for (const Lost &lost : kLost) {
        const qint64 lines = counts.*lost.lines;
        if (lines > 0)
            text += kNotInFull.arg(QLatin1String(lost.why))
                    + QStringLiteral("%1 (%2 cells)\n").arg(lines).arg(lost.cells ? counts.*lost.cells : 0);
    }
    if (brokenLinesDropped > 0)
        text += kBrokenDropped + QString::number(brokenLinesDropped) + '\n';
    if (linesMissing > 0)
        text += kMissing + QString::number(linesMissing) + '\n';
    text += kSavedAs + (savedAs.isEmpty() ? kNotSaved : savedAs) + '\n';
    if (!alsoSavedAs.isEmpty())
        text += kAlsoSavedAs + alsoSavedAs + '\n';
    text += kRawBytes + rawPath + '\n';
    if (!journalProblem.isEmpty())
        text += kJournalProblem + journalProblem + '\n';
    text += journalIncomplete;
    text += provenance.text();
    text += otherLines;
    return text;
}

std::optional<RunSummary> RunSummary::parse(const QString &text)
{
    QStringList lines = text.split('\n');
    if (lines.value(0) != kTitle)
        return std::nullopt;
    if (lines.constLast().isEmpty())
        lines.removeLast();
    RunSummary summary;
    for (const QString &line : lines.mid(1)) {
        auto after = [&line](const QString &label) { return line.mid(label.size()); };
        bool known = true;
        if (line.startsWith(kStarted)) {
            summary.started = QDateTime::fromString(after(kStarted), kStamp);
        } else if (line.startsWith(kEndedWithoutStop)) {
            summary.endedWithoutStop = true;
            summary.stopped = QDateTime::fromString(after(kEndedWithoutStop), kStamp);
        } else if (line.startsWith(kStopped)) {
            summary.stopped = QDateTime::fromString(after(kStopped), kStamp);
        } else if (line.startsWith(kPort)) {
            const QString value = after(kPort);
            const qsizetype open = value.indexOf(QStringLiteral(" ("));
            summary.comNumber = value.left(open).toInt(&known);
            if (open >= 0 && value.endsWith(')'))
                summary.device = value.mid(open + 2).chopped(1);
        } else if (line.startsWith(kBytes)) {
            known = readNumber(after(kBytes), summary.bytes);
        } else if (line.startsWith(kLines)) {
            known = readNumber(after(kLines), summary.lines);
        } else if (line.startsWith(kRowsUsed)) {
            const QString value = after(kRowsUsed);
            const qsizetype open = value.indexOf(QStringLiteral(" (in "));
            known = readNumber(value.left(open), summary.rowsUsed);
            if (open >= 0)
                summary.sheets = value.mid(open + 5).section(' ', 0, 0).toInt();
        } else if (line.startsWith(kCellsWritten)) {
            known = readNumber(after(kCellsWritten), summary.counts.cellsWritten);
        } else if (line.startsWith(kRebuilt)) {
            summary.rebuilt += line + '\n';
        } else if (line.startsWith(kMacro)) {
            summary.macro += line + '\n';
        } else if (line.startsWith(kBrokenDropped)) {
            known = readNumber(after(kBrokenDropped), summary.brokenLinesDropped);
        } else if (line.startsWith(kMissing)) {
            known = readNumber(after(kMissing), summary.linesMissing);
        } else if (line.startsWith(kSavedAs)) {
            const QString value = after(kSavedAs);
            summary.savedAs = value == kNotSaved ? QString() : value;
        } else if (line.startsWith(kAlsoSavedAs)) {
            summary.alsoSavedAs = after(kAlsoSavedAs);
        } else if (line.startsWith(kRawBytes)) {
            summary.rawPath = after(kRawBytes);
        } else if (line.startsWith(kJournalProblem)) {
            summary.journalProblem = after(kJournalProblem);
        } else if (line.startsWith(kJournalIncomplete)) {
            summary.journalIncomplete += line + '\n';
        } else {
            known = false;
            for (const Lost &lost : kLost) {
                const QString label = kNotInFull.arg(QLatin1String(lost.why));
                if (!line.startsWith(label))
                    continue;
                // "<lines> (<cells> cells)"
                const QStringList numbers = after(label).split(' ');
                known = readNumber(numbers.value(0), summary.counts.*lost.lines);
                if (known && lost.cells)
                    readNumber(numbers.value(1).mid(1), summary.counts.*lost.cells);
            }
        }
        if (!known)
            summary.otherLines += line + '\n';
    }
    // The provenance reads its own lines; they are not lines this version
    // does not know.
    summary.provenance = RunProvenance::parse(text);
    if (summary.provenance.recorded() || !summary.provenance.saved.isEmpty()) {
        const QStringList own = summary.provenance.text().split('\n');
        QString other;
        for (const QString &line : summary.otherLines.split('\n', Qt::SkipEmptyParts)) {
            if (!own.contains(line))
                other += line + '\n';
        }
        summary.otherLines = other;
    }
    return summary;
}
