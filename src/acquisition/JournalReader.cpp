#include "JournalReader.h"

#include <QFileInfo>
#include <utility>

namespace {
const QByteArray kHeader = "# halvern run journal 1";
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
constexpr qint64 kMaxNoteLine = 256;
} // namespace

QString JournalReader::timesPathFor(const QString &rawPath)
{
    if (rawPath.endsWith(QStringLiteral(".raw")))
        return rawPath.left(rawPath.size() - 4) + QStringLiteral(".times");
    return rawPath + QStringLiteral(".times");
}

bool JournalReader::open(const QString &rawPath, QString *error)
{
    m_raw.setFileName(rawPath);
    if (!m_raw.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the journal ") + rawPath + QStringLiteral(": ") + m_raw.errorString();
        return false;
    }
    m_rawSize = m_raw.size();
    m_position = m_end = 0;
    m_line = 0;
    m_haveNext = m_gapPending = false;
    m_times.setFileName(timesPathFor(rawPath));
    m_hasTimes = QFileInfo::exists(m_times.fileName());
    if (!m_hasTimes)
        return true;
    if (!m_times.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read ") + m_times.fileName() + QStringLiteral(": ") + m_times.errorString();
        return false;
    }
    ++m_line;
    if (m_times.readLine(kMaxNoteLine).trimmed() != kHeader) {
        *error = m_times.fileName() + QStringLiteral(" is not a Halvern run journal");
        return false;
    }
    qint64 offset = 0;
    if (!readNote(offset, m_nextAt, m_nextGap, error))
        return false;
    if (m_haveNext && offset != 0) {
        *error = m_times.fileName() + QStringLiteral(": the first piece does not start at byte 0");
        return false;
    }
    return true;
}

bool JournalReader::readNote(qint64 &offset, QDateTime &at, bool &gap, QString *error)
{
    gap = false;
    m_haveNext = false;
    if (m_times.atEnd())
        return true;
    ++m_line;
    const QByteArray line = m_times.readLine(kMaxNoteLine).trimmed();
    if (line.isEmpty() && m_times.atEnd())
        return true;
    const QList<QByteArray> fields = line.split(' ');
    bool ok = fields.size() == 2 || (fields.size() == 3 && fields[2] == "gap");
    offset = ok ? fields[0].toLongLong(&ok) : 0;
    at = ok ? QDateTime::fromString(QString::fromLatin1(fields[1]), kTimeFormat) : QDateTime();
    gap = fields.size() == 3;
    if (!ok || !at.isValid() || offset < m_end || offset > m_rawSize) {
        *error = m_times.fileName() + QStringLiteral(": line ") + QString::number(m_line)
            + QStringLiteral(" is not \"<byte offset> <time>[ gap]\" in order");
        return false;
    }
    m_nextOffset = offset;
    m_haveNext = true;
    return true;
}

bool JournalReader::next(Piece &piece, QString *error)
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
        qint64 following = 0;
        QDateTime followingAt;
        m_end = m_nextOffset; // lower bound for the note after it
        if (!readNote(following, followingAt, m_nextGap, error))
            return false;
        m_end = m_haveNext ? following : m_rawSize;
        m_nextAt = followingAt;
    }
    const qint64 size = std::min<qint64>(m_end - m_position, kMaxPiece);
    piece.bytes = m_raw.read(size);
    if (piece.bytes.size() != size) {
        *error = QStringLiteral("cannot read ") + m_raw.fileName() + QStringLiteral(": ") + m_raw.errorString();
        return false;
    }
    piece.arrived = m_hasTimes ? m_at : QDateTime();
    piece.afterGap = std::exchange(m_gapPending, false);
    m_position += size;
    return true;
}
