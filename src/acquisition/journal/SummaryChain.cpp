#include "SummaryChain.h"

#include "LogCategories.h"
#include "Result.h"
#include "RunFiles.h"
#include "RunOrder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {
Result<QString> readSummary(const QString &path)
{
    const Result<std::optional<QString>> text = RunFiles::readSummaryFile(path);
    if (!text)
        return text.failure();
    if (!text->has_value())
        return Failure{path + QStringLiteral(": it is gone")};
    return **text;
}
} // namespace

void SummaryChain::linkToPrevious(RunProvenance &p, const QString &rawPath)
{
    const QFileInfo self(rawPath);
    const QStringList runs = RunOrder::runsInStartOrder(self.absolutePath());
    const qsizetype at = runs.indexOf(self.absoluteFilePath());
    if (at > 0) {
        p.previousRun = QFileInfo(runs[at - 1]).fileName();
        const QString summaryPath = RunFiles::summaryPathFor(runs[at - 1]);
        if (QFileInfo::exists(summaryPath)) {
            // A summary that cannot be read is told and keeps no hash, as one
            // not written yet: the hash of an empty text would be a false link.
            const Result<QString> summary = readSummary(summaryPath);
            if (summary)
                p.previousSummary = chainDigest(*summary);
            else
                qCWarning(lcJournal).noquote()
                    << "The summary of the run before cannot be read; the chain keeps no hash of it:"
                    << summary.failure().reason;
        }
    }
}

QString SummaryChain::chainDigest(const QString &summary)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &line : summary.split('\n')) {
        if (RunProvenance::isWorkbookLine(line))
            continue;
        hash.addData(line.toUtf8());
        hash.addData(QByteArrayView("\n", 1));
    }
    return QString::fromLatin1(hash.result().toHex());
}
