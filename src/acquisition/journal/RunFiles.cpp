#include "RunFiles.h"

#include "LogCategories.h"
#include "PlainFile.h"

#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kNameStamp = QStringLiteral("yyyy-MM-dd_HH-mm-ss");
const QString kNoteTime = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
const QString kRaw = QStringLiteral(".raw");
// The start, the port and the number of the run within the same second.
const QString kRunName = QStringLiteral("(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)_COM(\\d+)(?:-(\\d+))?\\.raw");

QString baseOf(const QString &rawPath) { return rawPath.endsWith(kRaw) ? rawPath.chopped(kRaw.size()) : rawPath; }
} // namespace

QString RunFiles::baseName(const QDateTime &start, int comNumber)
{
    return start.toString(kNameStamp) + QStringLiteral("_COM") + QString::number(comNumber);
}

std::optional<RunFiles::Name> RunFiles::parseRawName(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("\\A") + kRunName + QStringLiteral("(.*)\\z"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    Name name;
    name.started = QDateTime::fromString(m.captured(1), kNameStamp);
    name.comNumber = m.captured(2).toInt();
    name.sameSecond = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
    name.exact = m.captured(4).isEmpty();
    if (!name.started.isValid())
        return std::nullopt;
    return name;
}

QString RunFiles::timesPathFor(const QString &rawPath) { return baseOf(rawPath) + QStringLiteral(".times"); }

QString RunFiles::summaryPathFor(const QString &rawPath) { return baseOf(rawPath) + QStringLiteral(".summary.txt"); }

QString RunFiles::manifestPathFor(const QString &rawPath) { return baseOf(rawPath) + QStringLiteral(".manifest"); }

QByteArray RunFiles::timesHeader() { return QByteArrayLiteral("# halvern run journal 1\n"); }

QByteArray RunFiles::timesNote(qint64 offset, const QDateTime &at, bool gap)
{
    return QByteArray::number(offset) + ' ' + at.toString(kNoteTime).toLatin1() + (gap ? " gap\n" : "\n");
}

namespace {
const QByteArray kCheckpoint = QByteArrayLiteral("# checkpoint ");

bool isHash(const QByteArray &text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}
} // namespace

QByteArray RunFiles::checkpointNote(const Checkpoint &c)
{
    return kCheckpoint + QByteArray::number(c.rawOffset) + ' ' + c.rawSha256.toLatin1() + ' '
           + QByteArray::number(c.timesOffset) + ' ' + c.timesSha256.toLatin1() + '\n';
}

bool RunFiles::looksLikeCheckpoint(const QByteArray &line) { return line.startsWith(kCheckpoint); }

std::optional<RunFiles::Checkpoint> RunFiles::parseCheckpoint(const QByteArray &line)
{
    if (!looksLikeCheckpoint(line))
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(kCheckpoint.size()).split(' ');
    if (fields.size() != 4 || !isHash(fields[1]) || !isHash(fields[3]))
        return std::nullopt;
    Checkpoint c;
    bool rawOk = false;
    bool timesOk = false;
    c.rawOffset = fields[0].toLongLong(&rawOk);
    c.timesOffset = fields[2].toLongLong(&timesOk);
    if (!rawOk || !timesOk || c.rawOffset < 0 || c.timesOffset < 0)
        return std::nullopt;
    c.rawSha256 = QString::fromLatin1(fields[1]);
    c.timesSha256 = QString::fromLatin1(fields[3]);
    return c;
}

QDateTime RunFiles::noteTime(const QByteArray &field)
{
    // Read by hand: a journal has a note for every tick, and the general
    // date parser was most of a replay's own time.
    static constexpr char kShape[] = "0000-00-00T00:00:00.000";
    if (field.size() != qsizetype(sizeof kShape) - 1)
        return QDateTime();
    for (qsizetype i = 0; i < field.size(); ++i) {
        const bool digit = field[i] >= '0' && field[i] <= '9';
        if (kShape[i] == '0' ? !digit : field[i] != kShape[i])
            return QDateTime();
    }
    const auto number = [&field](qsizetype at, qsizetype digits) {
        int n = 0;
        for (qsizetype i = at; i < at + digits; ++i)
            n = n * 10 + (field[i] - '0');
        return n;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

bool RunFiles::writeSummaryFile(const QString &path, const QString &text)
{
    const Result<std::unique_ptr<QFile>> file = PlainFile::open(path, PlainFile::Mode::Replace);
    if (!file) {
        qCWarning(lcJournal).noquote() << "cannot write the summary:" << file.failure().reason;
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    const bool ok = ::fchmod((*file)->handle(), 0600) == 0 && (*file)->write(bytes) == bytes.size() && (*file)->flush();
    if (!ok)
        qCWarning(lcJournal) << "cannot write the summary" << path << ":" << (*file)->errorString();
    return ok;
}

Result<std::optional<QString>> RunFiles::readSummaryFile(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT)
        return std::optional<QString>();
    const Result<std::unique_ptr<QFile>> file = PlainFile::open(path, PlainFile::Mode::Read);
    if (!file)
        return file.failure();
    const QByteArray bytes = (*file)->read(kMaxSummary);
    if ((*file)->error() != QFileDevice::NoError)
        return Failure{QStringLiteral("%1 cannot be read: %2").arg(path, (*file)->errorString())};
    return std::optional<QString>(QString::fromUtf8(bytes));
}
