#pragma once

#include "Failure.h"
#include "RunCatalog.h"

#include <QList>
#include <QString>
#include <optional>

class MessageBoxes;

// Runs that ended without Stop, because the program or the computer stopped
// during them: offered once, at the next start, in one box. Making the
// workbook or declining it ends the run's manifest, so it is not offered again.
class UnfinishedRuns {
public:
    enum class Answer { None, MakeOne, ShowAll, Declined };

    // The runs to offer (newest first), their lines counted.
    static QList<RunCatalog::Run> find(const QString &journalFolder);
    // Asks in one box: for one run, its start, port and lines and whether to
    // make its workbook now; for several, their number and whether to see
    // them in the Runs window. None when there is nothing to offer.
    static Answer offer(MessageBoxes &boxes, const QList<RunCatalog::Run> &runs);
    // Ends the manifest of such a run (and renders its summary): it ended
    // without Stop, with its last byte's time, hashed up to its last
    // checkpoint by the run itself and as a whole as its files are found now;
    // `rebuilt` (a summary line), `savedAs` and `alsoSavedAs` tell what became
    // of its workbook (all empty: not saved), made in the office of
    // `officeVersion`.
    static std::optional<Failure> recordEnd(const RunCatalog::Run &run, const QString &rebuilt = {},
                                            const QString &savedAs = {}, const QString &alsoSavedAs = {},
                                            const QString &officeVersion = {});
    // Declined: the run is noted as not saved, in its summary or, when that
    // cannot be written, in the settings (false then); never offered again.
    static bool markNotSaved(const RunCatalog::Run &run);
};
