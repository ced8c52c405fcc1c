#include "SummaryChain.h"

#include "RunFiles.h"
#include "RunOrder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 kMaxSummary = 64 * 1024;

QString readSummary(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(kMaxSummary));
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
