#include "JournalTexts.h"

#include "RunJournal.h"

namespace {
QString since(const RunJournal &journal) { return journal.incompleteSince().toString(QStringLiteral("HH:mm:ss")); }
} // namespace

QString JournalTexts::failureNotice(const RunJournal &journal)
{
    return QStringLiteral("This run's journal stopped keeping the bytes at %1:\n%2\n\nThe workbook still receives "
                          "every line. The journal tries again at every tick; what arrives until then is missing "
                          "from it.")
        .arg(since(journal), journal.problem());
}

QString JournalTexts::lampTip(const RunJournal &journal, bool officeTrouble)
{
    QString tip;
    if (journal.rawPath().isEmpty() || (!journal.isOpen() && !journal.failing())) {
        if (!journal.problem().isEmpty())
            return QStringLiteral("The bytes of this run are NOT being kept: ") + journal.problem();
    } else if (journal.failing()) {
        tip = QStringLiteral("The run's journal has kept no bytes since %1 (%2); the workbook still receives the "
                             "lines.")
                  .arg(since(journal), journal.problem());
    } else if (journal.incompleteSince().isValid()) {
        tip = QStringLiteral("The run's journal is missing bytes from %1 on (%2); it is keeping them again.")
                  .arg(since(journal), journal.problem());
    }
    if (officeTrouble && !journal.failing()) {
        tip += QString(tip.isEmpty() ? "" : "\n")
               + QStringLiteral("The bytes go on being kept in the run's journal, and Stop will offer to rebuild the "
                                "workbook from it.");
    }
    return tip;
}

QString JournalTexts::incompleteAtStop(const RunJournal &journal, const std::optional<Failure> &summaryProblem)
{
    if (!journal.incompleteSince().isValid())
        return QString();
    QString text = QStringLiteral("This run's journal is incomplete: %1 bytes received from %2 on are missing from "
                                  "it (%3). The workbook holds every line it was given.")
                       .arg(journal.bytesMissing())
                       .arg(since(journal), journal.problem());
    if (summaryProblem)
        text += QStringLiteral("\n\nThe run's summary cannot be written either: ") + summaryProblem->reason;
    return text;
}

QString JournalTexts::summaryLine(const RunJournal &journal)
{
    if (!journal.incompleteSince().isValid())
        return QString();
    return QStringLiteral("Journal incomplete: %1 bytes missing, from %2 on (%3)\n")
        .arg(journal.bytesMissing())
        .arg(journal.incompleteSince().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), journal.problem());
}

QString JournalTexts::backlogLost(const QString &error)
{
    return QStringLiteral("What arrived during the pause cannot be read back from the run's journal, so it is "
                          "missing from the workbook: ")
           + error;
}
