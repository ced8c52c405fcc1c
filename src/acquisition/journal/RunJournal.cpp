#include "RunJournal.h"

#include "DescriptorWrite.h"
#include "LogCategories.h"
#include "PlainFile.h"
#include "PrivateFolder.h"
#include "RunFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A new file of the run, or why it could not be made.
Result<int> openForAppend(const QString &path) { return PlainFile::openDescriptor(path, PlainFile::Mode::CreateNew); }

// The reason of the system call that just failed.
QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }
} // namespace

RunJournal::~RunJournal() { close(); }

QString RunJournal::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Halvern/runs");
}

QString RunJournal::timesPath() const { return m_base.isEmpty() ? QString() : RunFiles::timesPathFor(rawPath()); }

QString RunJournal::summaryPath() const { return m_base.isEmpty() ? QString() : RunFiles::summaryPathFor(rawPath()); }

std::optional<Failure> RunJournal::open(const QString &folder, const QDateTime &start, int comNumber)
{
    close();
    m_bytes = m_kept = m_timesSize = 0;
    m_lineEnds.reset();
    m_gapBefore = false;
    m_problem.clear();
    m_failing = false;
    m_failures = 0;
    m_checkpoints = 0;
    m_incompleteSince = QDateTime();
    m_lastSync = start;
    if (!PrivateFolder::make(folder)) {
        m_base.clear();
        fail(QStringLiteral("cannot make the folder ") + folder);
        return Failure{m_problem};
    }
    // Two runs started within the same second get their own files.
    const QString base = folder + '/' + RunFiles::baseName(start, comNumber);
    m_base = base;
    for (int n = 2; QFile::exists(m_base + QStringLiteral(".raw")); ++n)
        m_base = base + '-' + QString::number(n);
    if (!makeFiles()) {
        fail(m_problem);
        return Failure{m_problem};
    }
    return std::nullopt;
}

bool RunJournal::makeFiles()
{
    Result<int> raw = openForAppend(rawPath());
    if (!raw) {
        m_problem = raw.failure().reason;
        return false;
    }
    m_raw = *raw;
    // A fresh file: nobody else can hold it. Unlocked, the run is taken for
    // one that ended without Stop by another Halvern.
    if (::flock(m_raw, LOCK_EX | LOCK_NB) != 0)
        qCWarning(lcJournal) << "cannot lock" << rawPath() << ":" << systemError();
    Result<int> times = openForAppend(timesPath());
    if (!times) {
        m_problem = times.failure().reason;
        return false;
    }
    m_times = *times;
    const QByteArray header = RunFiles::timesHeader();
    if (!DescriptorWrite::all(m_times, header.constData(), header.size())) {
        m_problem = QStringLiteral("cannot write ") + timesPath() + QStringLiteral(": ") + systemError();
        return false;
    }
    m_kept = 0;
    m_checkpointAt = -1;
    m_timesSize = header.size();
    m_rawHash.reset();
    m_timesHash.reset();
    m_timesHash.addData(header);
    return true;
}

void RunJournal::append(const QByteArray &bytes, const QDateTime &at)
{
    if (bytes.isEmpty() || m_base.isEmpty() || (m_raw < 0 && !m_failing))
        return; // never opened, or closed
    m_bytes += bytes.size();
    m_lineEnds.add(bytes);
    if (m_raw < 0 && !remake())
        return lose(QStringLiteral("cannot make the journal again in ") + QFileInfo(m_base).path()
                        + QStringLiteral(": ") + systemError(),
                    at);
    const QByteArray note = RunFiles::timesNote(m_kept, at, m_gapBefore);
    // The companion line goes after the bytes: a line never names bytes that
    // are not in the raw file.
    if (!DescriptorWrite::all(m_raw, bytes.constData(), bytes.size()))
        return lose(QStringLiteral("cannot write ") + rawPath() + QStringLiteral(": ") + systemError(), at);
    if (!DescriptorWrite::all(m_times, note.constData(), note.size()))
        return lose(QStringLiteral("cannot write ") + timesPath() + QStringLiteral(": ") + systemError(), at);
    m_kept += bytes.size();
    m_timesSize += note.size();
    m_rawHash.addData(bytes);
    m_timesHash.addData(note);
    m_gapBefore = false;
    m_failing = false;
}

void RunJournal::syncIfDue(const QDateTime &now, int interval)
{
    if (m_raw < 0)
        return;
    // A clock set back counts as due, so a sync is never put off for long.
    const qint64 since = m_lastSync.isValid() ? m_lastSync.msecsTo(now) : interval;
    if (since >= 0 && since < interval)
        return;
    m_lastSync = now;
    if (filesRemoved())
        return lose(QStringLiteral("the journal's files were removed from ") + QFileInfo(m_base).path(), now);
    // The bytes are on the disk before the checkpoint that names them.
    if (::fdatasync(m_raw) != 0)
        return lose(QStringLiteral("cannot sync ") + rawPath() + QStringLiteral(": ") + systemError(), now);
    if (!checkpoint())
        return lose(QStringLiteral("cannot write ") + timesPath() + QStringLiteral(": ") + systemError(), now);
    if (::fdatasync(m_times) != 0)
        lose(QStringLiteral("cannot sync ") + timesPath() + QStringLiteral(": ") + systemError(), now);
}

bool RunJournal::checkpoint()
{
    if (m_failing || m_checkpointAt == m_kept)
        return true;
    RunFiles::Checkpoint c;
    c.rawOffset = m_kept;
    c.rawSha256 = rawSha256();
    c.timesOffset = m_timesSize;
    c.timesSha256 = timesSha256();
    const QByteArray note = RunFiles::checkpointNote(c);
    if (!DescriptorWrite::all(m_times, note.constData(), note.size()))
        return false;
    m_timesSize += note.size();
    m_timesHash.addData(note);
    m_checkpointAt = m_kept;
    ++m_checkpoints;
    return true;
}

bool RunJournal::filesRemoved() const
{
    struct stat raw {};
    struct stat times {};
    return (::fstat(m_raw, &raw) == 0 && raw.st_nlink == 0) || (::fstat(m_times, &times) == 0 && times.st_nlink == 0);
}

bool RunJournal::remake()
{
    if (!PrivateFolder::make(QFileInfo(m_base).path()))
        return false;
    if (makeFiles())
        return true;
    close();
    return false;
}

void RunJournal::lose(const QString &what, const QDateTime &at)
{
    if (!m_failing) {
        m_failing = true;
        ++m_failures;
        if (!m_incompleteSince.isValid())
            m_incompleteSince = at;
        if (m_problem.isEmpty())
            m_problem = what;
    }
    m_gapBefore = true;
    if (m_raw >= 0 && filesRemoved()) {
        close(); // made again at the next piece
        return;
    }
    // Cut back what a failed write left half done, so the two files agree
    // (a reader passes over a half note all the same).
    if (m_raw >= 0 && ::ftruncate(m_raw, m_kept) != 0)
        qCWarning(lcJournal) << "cannot cut" << rawPath() << "back to" << m_kept << "bytes:" << systemError();
    if (m_times >= 0 && ::ftruncate(m_times, m_timesSize) != 0)
        qCWarning(lcJournal) << "cannot cut" << timesPath() << "back to" << m_timesSize << "bytes:" << systemError();
}

void RunJournal::close()
{
    if (m_raw >= 0 && m_times >= 0 && ::fdatasync(m_raw) == 0 && !checkpoint())
        (void)::ftruncate(m_times, m_timesSize); // a half checkpoint is no note
    for (int *fd : {&m_raw, &m_times}) {
        if (*fd >= 0) {
            // What the last sync or the close could not write may be missing
            // after a crash of the machine.
            if (::fdatasync(*fd) != 0)
                qCWarning(lcJournal) << "the last sync of" << (fd == &m_raw ? rawPath() : timesPath())
                                     << "failed:" << systemError();
            if (::close(*fd) != 0)
                qCWarning(lcJournal) << "closing" << (fd == &m_raw ? rawPath() : timesPath())
                                     << "failed:" << systemError();
            *fd = -1;
        }
    }
}

bool RunJournal::writeSummary(const QString &text)
{
    return !m_base.isEmpty() && RunFiles::writeSummaryFile(summaryPath(), text);
}

bool RunJournal::isHeld(const QString &rawPath)
{
    // Looked at without waiting: a FIFO in the journal's place is no run.
    const Result<int> fd = PlainFile::openDescriptor(rawPath, PlainFile::Mode::Read);
    if (!fd)
        return false;
    const bool held = ::flock(*fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(*fd);
    return held;
}

void RunJournal::fail(const QString &what)
{
    if (m_problem.isEmpty())
        m_problem = what;
    close();
}
