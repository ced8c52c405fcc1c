#include "JournalReader.h"

#include "PlainFile.h"
#include "RunFiles.h"

#include <QFileInfo>
#include <unistd.h>
#include <utility>

namespace {
constexpr qint64 kMaxNoteLine = 256;

// Opens file on path through the plain-file check: a FIFO or a link in a
// journal file's place is named, not waited on or followed.
std::optional<Failure> openPlain(QFile &file, const QString &path)
{
    const Result<int> fd = PlainFile::openDescriptor(path, PlainFile::Mode::Read);
    if (!fd)
        return fd.failure();
    if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return Failure{QStringLiteral("cannot read ") + path + QStringLiteral(": ") + file.errorString()};
    }
    return std::nullopt;
}
} // namespace

std::optional<Failure> JournalReader::open(const QString &rawPath)
{
    m_failure.reset();
    m_raw.close();
    m_times.close();
    m_rawPath = rawPath;
    m_timesPath = RunFiles::timesPathFor(rawPath);
    if (std::optional<Failure> failure = openPlain(m_raw, rawPath))
        return failure;
    m_rawSize = m_raw.size();
    m_position = m_end = 0;
    m_line = 0;
    m_haveNext = m_gapPending = false;
    m_damagedLines = 0;
    m_firstDamage.clear();
    m_at = QDateTime();
    m_hasTimes = QFileInfo::exists(m_timesPath) || QFileInfo(m_timesPath).isSymLink();
    if (!m_hasTimes)
        return std::nullopt;
    if (std::optional<Failure> failure = openPlain(m_times, m_timesPath))
        return failure;
    if (readLine() != RunFiles::timesHeader().trimmed()) {
        noteDamage(QStringLiteral("line 1: it is not a Halvern run journal"));
        m_times.close();
        m_hasTimes = false;
        return std::nullopt;
    }
    readNote();
    // Bytes before the first good note have no time of their own.
    m_end = m_haveNext ? m_nextOffset : m_rawSize;
    if (m_end > 0 && m_damagedLines == 0)
        noteDamage(QStringLiteral("no note for the first %1 bytes").arg(m_end));
    return std::nullopt;
}

QByteArray JournalReader::readLine()
{
    ++m_line;
    QByteArray line = m_times.readLine(kMaxNoteLine);
    if (line.endsWith('\n') || m_times.atEnd())
        return line.trimmed();
    // A longer line is no note: the rest of it is passed over.
    while (!m_times.atEnd()) {
        const QByteArray more = m_times.readLine(kMaxNoteLine);
        if (more.isEmpty() || more.endsWith('\n'))
            break;
    }
    return QByteArrayLiteral("(a line too long)");
}

void JournalReader::noteDamage(const QString &what)
{
    if (m_damagedLines++ == 0)
        m_firstDamage = what;
}

QString JournalReader::damage() const
{
    if (m_damagedLines == 0)
        return QString();
    return QStringLiteral("%1: %2 %3 (%4); the bytes are all replayed, those without a time of their own "
                          "with the time before them or this replay's clock")
        .arg(m_timesPath)
        .arg(m_damagedLines)
        .arg(m_damagedLines == 1 ? QStringLiteral("note damaged or missing")
                                 : QStringLiteral("notes damaged or missing"),
             m_firstDamage);
}

void JournalReader::readNote()
{
    m_haveNext = false;
    while (!m_times.atEnd()) {
        const QByteArray line = readLine();
        if (line.isEmpty() && m_times.atEnd())
            return;
        if (RunFiles::parseCheckpoint(line))
            continue; // the hashes at a sync, for the check: no piece
        const QList<QByteArray> fields = line.split(' ');
        bool ok = fields.size() == 2 || (fields.size() == 3 && fields[2] == "gap");
        const qint64 offset = ok ? fields[0].toLongLong(&ok) : 0;
        const QDateTime at = ok ? RunFiles::noteTime(fields[1]) : QDateTime();
        if (!ok || !at.isValid() || offset < m_end || offset > m_rawSize) {
            noteDamage(QStringLiteral("line %1 is not \"<byte offset> <time>[ gap]\" in order").arg(m_line));
            continue;
        }
        m_nextOffset = offset;
        m_nextAt = at;
        m_nextGap = fields.size() == 3;
        m_haveNext = true;
        return;
    }
}

bool JournalReader::next(Piece &piece)
{
    piece.bytes.clear();
    if (m_position >= m_rawSize)
        return false;
    if (!m_hasTimes) {
        m_end = m_rawSize;
    } else if (m_position >= m_end) {
        // Start the next noted piece; bytes after the last note belong to it.
        if (!m_haveNext)
            return false;
        m_at = m_nextAt;
        m_gapPending = m_nextGap;
        m_end = m_nextOffset; // lower bound for the note after it
        readNote();
        m_end = m_haveNext ? m_nextOffset : m_rawSize;
    }
    const qint64 size = std::min<qint64>(m_end - m_position, kMaxPiece);
    piece.bytes = m_raw.read(size);
    if (piece.bytes.size() != size) {
        m_failure = Failure{QStringLiteral("cannot read ") + m_rawPath + QStringLiteral(": ") + m_raw.errorString()};
        return false;
    }
    piece.arrived = m_hasTimes ? m_at : QDateTime();
    piece.afterGap = std::exchange(m_gapPending, false);
    m_position += size;
    return true;
}
