#include "JournalCheckpoints.h"

#include "PlainFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <memory>

namespace {
constexpr qint64 kPiece = 1024 * 1024;
constexpr qint64 kMaxLine = 512;

// Hashes a file on from where it got to, up to `offset`; false when the file
// ends before.
class Hasher {
public:
    explicit Hasher(QFile &file) : m_file(file), m_piece(kPiece, Qt::Uninitialized) {}
    bool to(qint64 offset, const std::atomic<bool> *cancel)
    {
        while (m_at < offset) {
            if (cancel && cancel->load())
                return false;
            const qint64 n = m_file.read(m_piece.data(), std::min<qint64>(kPiece, offset - m_at));
            if (n <= 0)
                return false;
            m_hash.addData(QByteArrayView(m_piece.constData(), n));
            m_at += n;
        }
        return true;
    }
    QString digest() const { return QString::fromLatin1(m_hash.result().toHex()); }

private:
    QFile &m_file;
    QByteArray m_piece;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    qint64 m_at = 0;
};

struct Found {
    RunFiles::Checkpoint checkpoint;
    qint64 lineStart = 0; // where its line begins in ".times"
};
} // namespace

JournalCheckpoints::Outcome JournalCheckpoints::check(const QString &rawPath, const std::atomic<bool> *cancel)
{
    Outcome outcome;
    const QString timesPath = RunFiles::timesPathFor(rawPath);
    const Result<std::unique_ptr<QFile>> times = PlainFile::open(timesPath, PlainFile::Mode::Read);
    const Result<std::unique_ptr<QFile>> raw = PlainFile::open(rawPath, PlainFile::Mode::Read);
    if (!times || !raw) {
        outcome.readable = false;
        outcome.fault = (!times ? times.failure() : raw.failure()).reason;
        return outcome;
    }
    QList<Found> found;
    qint64 lineStart = 0;
    while (!(*times)->atEnd()) {
        const QByteArray line = (*times)->readLine(kMaxLine);
        if (line.isEmpty())
            break;
        if (const auto c = RunFiles::parseCheckpoint(line.endsWith('\n') ? line.chopped(1) : line))
            found.append({*c, lineStart});
        lineStart += line.size();
    }
    outcome.count = static_cast<int>(found.size());
    if (!(*times)->seek(0)) {
        outcome.readable = false;
        outcome.fault = (*times)->errorString();
        return outcome;
    }
    Hasher rawHash(**raw);
    Hasher timesHash(**times);
    const qint64 rawSize = (*raw)->size();
    for (const Found &f : found) {
        const RunFiles::Checkpoint &c = f.checkpoint;
        const QString where = QStringLiteral("the checkpoint at byte %1").arg(c.rawOffset);
        if (c.rawOffset > rawSize) {
            outcome.cutShort = true;
            outcome.fault =
                QStringLiteral("%1: the journal's bytes end at %2, they were cut short").arg(where).arg(rawSize);
            return outcome;
        }
        if (c.timesOffset != f.lineStart) {
            outcome.fault = QStringLiteral("%1 is not where it was written in %2").arg(where, timesPath);
            return outcome;
        }
        if (!rawHash.to(c.rawOffset, cancel) || !timesHash.to(c.timesOffset, cancel)) {
            outcome.readable = false;
            outcome.fault = QStringLiteral("%1: the journal could not be read that far").arg(where);
            return outcome;
        }
        if (rawHash.digest() != c.rawSha256) {
            outcome.fault = QStringLiteral("%1: the bytes before it were changed after they were hashed").arg(where);
            return outcome;
        }
        if (timesHash.digest() != c.timesSha256) {
            outcome.fault = QStringLiteral("%1: the times before it were changed after they were hashed").arg(where);
            return outcome;
        }
        ++outcome.matched;
        outcome.lastMatched = c;
    }
    return outcome;
}

bool JournalCheckpoints::any(const QString &rawPath)
{
    const Result<std::unique_ptr<QFile>> times =
        PlainFile::open(RunFiles::timesPathFor(rawPath), PlainFile::Mode::Read);
    if (!times)
        return false;
    while (!(*times)->atEnd()) {
        const QByteArray line = (*times)->readLine(kMaxLine);
        if (line.isEmpty())
            return false;
        if (RunFiles::looksLikeCheckpoint(line))
            return true;
    }
    return false;
}
