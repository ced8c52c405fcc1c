#include "SummaryChain.h"

#include "RunFiles.h"
#include "RunOrder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {
// Empty when there is none or it is not a plain file that can be read.
QString readSummary(const QString &path)
{
    const Result<std::optional<QString>> text = RunFiles::readSummaryFile(path);
    return text && text->has_value() ? **text : QString();
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
        if (QFileInfo::exists(summaryPath))
            p.previousSummary = chainDigest(readSummary(summaryPath));
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
