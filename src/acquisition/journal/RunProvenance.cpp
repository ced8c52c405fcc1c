#include "RunProvenance.h"

#include <QStringList>

namespace {
const QString kRaw = QStringLiteral("Raw bytes SHA-256: ");
const QString kTimes = QStringLiteral("Arrival times SHA-256: ");
const QString kUser = QStringLiteral("User: ");
const QString kComputer = QStringLiteral("Computer: ");
const QString kHalvern = QStringLiteral("Halvern version: ");
const QString kOffice = QStringLiteral("Office version: ");
const QString kAdapter = QStringLiteral("Port adapter: ");
const QString kSaved = QStringLiteral("Saved file: ");
const QString kPreviousRun = QStringLiteral("Previous run: ");
const QString kPreviousSummary = QStringLiteral("Previous summary SHA-256: ");
const QString kNone = QStringLiteral("(none)");
const QString kNotKnown = QStringLiteral("(not known)");

// The lines a later "Make workbook" rewrites.
const QStringList kWorkbookLines = {
    kSaved, QStringLiteral("Workbook saved as: "), QStringLiteral("Whole workbook also saved as: "),
    QStringLiteral("Workbook rebuilt from the journal: "), QStringLiteral("Journal times damaged: ")};

QString orNone(const QString &value, const QString &none = kNone) { return value.isEmpty() ? none : value; }
QString unlessNone(const QString &value) { return value == kNone || value == kNotKnown ? QString() : value; }
} // namespace

bool RunProvenance::isWorkbookLine(const QString &line)
{
    for (const QString &prefix : kWorkbookLines)
        if (line.startsWith(prefix))
            return true;
    return false;
}

QString RunProvenance::noneIfEmpty(const QString &value) { return orNone(value); }

QString RunProvenance::text() const
{
    if (!recorded())
        return QString();
    QString text;
    text += kRaw + rawSha256 + '\n';
    text += kTimes + orNone(timesSha256, QStringLiteral("(no .times file)")) + '\n';
    text += kUser + login + (fullName.isEmpty() ? QString() : QStringLiteral(" (") + fullName + ')') + '\n';
    text += kComputer + host + '\n';
    text += kHalvern + halvernVersion + '\n';
    text += kOffice + orNone(officeVersion, kNotKnown) + '\n';
    if (!adapter.isEmpty())
        text += kAdapter + adapter + '\n';
    for (const SavedFile &file : saved)
        text += kSaved + file.sha256 + QStringLiteral("  ") + file.path + '\n';
    text += kPreviousRun + orNone(previousRun) + '\n';
    text += kPreviousSummary + orNone(previousSummary) + '\n';
    return text;
}

RunProvenance RunProvenance::parse(const QString &summary)
{
    RunProvenance p;
    for (const QString &line : summary.split('\n')) {
        auto value = [&line](const QString &prefix) { return line.mid(prefix.size()); };
        if (line.startsWith(kRaw)) {
            p.rawSha256 = value(kRaw);
        } else if (line.startsWith(kTimes)) {
            const QString v = value(kTimes);
            p.timesSha256 = v.startsWith('(') ? QString() : v;
        } else if (line.startsWith(kUser)) {
            const QString v = value(kUser);
            const qsizetype open = v.indexOf(QStringLiteral(" ("));
            p.login = open < 0 ? v : v.left(open);
            p.fullName = open < 0 ? QString() : v.mid(open + 2).chopped(1);
        } else if (line.startsWith(kComputer)) {
            p.host = value(kComputer);
        } else if (line.startsWith(kHalvern)) {
            p.halvernVersion = value(kHalvern);
        } else if (line.startsWith(kOffice)) {
            p.officeVersion = unlessNone(value(kOffice));
        } else if (line.startsWith(kAdapter)) {
            p.adapter = value(kAdapter);
        } else if (line.startsWith(kSaved)) {
            const QString v = value(kSaved);
            const qsizetype gap = v.indexOf(QStringLiteral("  "));
            if (gap > 0)
                p.saved.append({v.mid(gap + 2), unlessNone(v.left(gap))});
        } else if (line.startsWith(kPreviousRun)) {
            p.previousRun = unlessNone(value(kPreviousRun));
        } else if (line.startsWith(kPreviousSummary)) {
            p.previousSummary = unlessNone(value(kPreviousSummary));
        }
    }
    return p;
}
