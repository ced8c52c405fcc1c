#include "RunProvenance.h"

#include "FileDigest.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "RunFiles.h"
#include "RunJournal.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <algorithm>
#include <pwd.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {
const QString kRaw = QStringLiteral("Raw bytes SHA-256: ");
const QString kTimes = QStringLiteral("Arrival times SHA-256: ");
const QString kUser = QStringLiteral("User: ");
const QString kComputer = QStringLiteral("Computer: ");
const QString kHalvern = QStringLiteral("Halvern version: ");
const QString kOffice = QStringLiteral("Office version: ");
const QString kAdapter = QStringLiteral("Port adapter: ");
const QString kSaved = QStringLiteral("Saved file: ");
const QString kPreviousRun = QStringLiteral("Previous run: ");
const QString kPreviousSummary = QStringLiteral("Previous summary SHA-256: ");
const QString kNone = QStringLiteral("(none)");
const QString kNotKnown = QStringLiteral("(not known)");
constexpr qint64 kMaxSummary = 64 * 1024;

// The lines a later "Make workbook" rewrites.
const QStringList kWorkbookLines = {
    kSaved, QStringLiteral("Workbook saved as: "), QStringLiteral("Whole workbook also saved as: "),
    QStringLiteral("Workbook rebuilt from the journal: "), QStringLiteral("Journal times damaged: ")};

bool isWorkbookLine(const QString &line)
{
    for (const QString &prefix : kWorkbookLines)
        if (line.startsWith(prefix))
            return true;
    return false;
}

QString orNone(const QString &value, const QString &none = kNone) { return value.isEmpty() ? none : value; }
QString unlessNone(const QString &value) { return value == kNone || value == kNotKnown ? QString() : value; }

void readUser(RunProvenance &p)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        p.login = QString::fromLocal8Bit(found->pw_name);
        // The GECOS field: the full name, then office and telephone after commas.
        p.fullName = QString::fromLocal8Bit(found->pw_gecos).section(',', 0, 0).trimmed();
    } else {
        p.login = qEnvironmentVariable("USER");
        qCWarning(lcJournal) << "no password entry for user" << ::getuid() << "; the login is taken from $USER";
    }
}

QString readSummary(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(kMaxSummary));
}
} // namespace

const QString RunProvenance::kRawFileProperty = QStringLiteral("Halvern raw file");
const QString RunProvenance::kRawHashProperty = QStringLiteral("Halvern raw SHA-256");

QString RunProvenance::programVersion() { return QStringLiteral(HALVERN_VERSION); }

RunProvenance RunProvenance::gather(const QString &rawPath, const QString &rawSha256, const QString &timesSha256)
{
    RunProvenance p;
    if (rawPath.isEmpty())
        return p; // no journal: nothing to vouch for
    QString error;
    p.rawSha256 = rawSha256.isEmpty() ? FileDigest::sha256(rawPath, &error) : rawSha256;
    if (p.rawSha256.isEmpty())
        qCWarning(lcJournal) << "cannot hash" << rawPath << ":" << error;
    const QString times = RunFiles::timesPathFor(rawPath);
    if (!timesSha256.isEmpty()) {
        p.timesSha256 = timesSha256;
    } else if (QFileInfo::exists(times)) {
        p.timesSha256 = FileDigest::sha256(times, &error);
        if (p.timesSha256.isEmpty())
            qCWarning(lcJournal) << "cannot hash" << times << ":" << error;
    }
    readUser(p);
    p.host = QSysInfo::machineHostName();
    p.halvernVersion = programVersion();

    const QFileInfo self(rawPath);
    const QStringList runs = runsInStartOrder(self.absolutePath());
    const qsizetype at = runs.indexOf(self.absoluteFilePath());
    if (at > 0) {
        p.previousRun = QFileInfo(runs[at - 1]).fileName();
        const QString summaryPath = RunFiles::summaryPathFor(runs[at - 1]);
        if (QFileInfo::exists(summaryPath))
            p.previousSummary = chainDigest(readSummary(summaryPath));
    }
    return p;
}

QStringList RunProvenance::runsInStartOrder(const QString &folder)
{
    // "2026-12-07_14-30-00_COM5[-2].raw": the start, then the run within that second.
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)_COM\\d+(?:-(\\d+))?\\.raw$"));
    struct Named {
        QString start;
        int sameSecond;
        QString path;
    };
    QList<Named> named;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({QStringLiteral("*.raw")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (m.hasMatch())
            named.append(
                {m.captured(1), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), dir.absoluteFilePath(name)});
    }
    std::sort(named.begin(), named.end(), [](const Named &a, const Named &b) {
        return std::tie(a.start, a.sameSecond, a.path) < std::tie(b.start, b.sameSecond, b.path);
    });
    QStringList paths;
    for (const Named &n : named)
        paths.append(n.path);
    return paths;
}

void RunProvenance::addSaved(const QString &path)
{
    if (path.isEmpty())
        return;
    QString error;
    const QString digest = FileDigest::sha256(path, &error);
    if (digest.isEmpty())
        qCWarning(lcJournal) << "cannot hash the saved workbook" << path << ":" << error;
    saved.append({path, orNone(digest)});
}

QString RunProvenance::text() const
{
    if (!recorded())
        return QString();
    QString text;
    text += kRaw + rawSha256 + '\n';
    text += kTimes + orNone(timesSha256, QStringLiteral("(no .times file)")) + '\n';
    text += kUser + login + (fullName.isEmpty() ? QString() : QStringLiteral(" (") + fullName + ')') + '\n';
    text += kComputer + host + '\n';
    text += kHalvern + halvernVersion + '\n';
    text += kOffice + orNone(officeVersion, kNotKnown) + '\n';
    if (!adapter.isEmpty())
        text += kAdapter + adapter + '\n';
    for (const SavedFile &file : saved)
        text += kSaved + file.sha256 + QStringLiteral("  ") + file.path + '\n';
    text += kPreviousRun + orNone(previousRun) + '\n';
    text += kPreviousSummary + orNone(previousSummary) + '\n';
    return text;
}

RunProvenance RunProvenance::parse(const QString &summary)
{
    RunProvenance p;
    for (const QString &line : summary.split('\n')) {
        auto value = [&line](const QString &prefix) { return line.mid(prefix.size()); };
        if (line.startsWith(kRaw)) {
            p.rawSha256 = value(kRaw);
        } else if (line.startsWith(kTimes)) {
            const QString v = value(kTimes);
            p.timesSha256 = v.startsWith('(') ? QString() : v;
        } else if (line.startsWith(kUser)) {
            const QString v = value(kUser);
            const qsizetype open = v.indexOf(QStringLiteral(" ("));
            p.login = open < 0 ? v : v.left(open);
            p.fullName = open < 0 ? QString() : v.mid(open + 2).chopped(1);
        } else if (line.startsWith(kComputer)) {
            p.host = value(kComputer);
        } else if (line.startsWith(kHalvern)) {
            p.halvernVersion = value(kHalvern);
        } else if (line.startsWith(kOffice)) {
            p.officeVersion = unlessNone(value(kOffice));
        } else if (line.startsWith(kAdapter)) {
            p.adapter = value(kAdapter);
        } else if (line.startsWith(kSaved)) {
            const QString v = value(kSaved);
            const qsizetype gap = v.indexOf(QStringLiteral("  "));
            if (gap > 0)
                p.saved.append({v.mid(gap + 2), unlessNone(v.left(gap))});
        } else if (line.startsWith(kPreviousRun)) {
            p.previousRun = unlessNone(value(kPreviousRun));
        } else if (line.startsWith(kPreviousSummary)) {
            p.previousSummary = unlessNone(value(kPreviousSummary));
        }
    }
    return p;
}

QString RunProvenance::withSavedFiles(const QString &summary, const QList<SavedFile> &files)
{
    QStringList lines = summary.split('\n');
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(kSaved)) {
            if (at < 0)
                at = i;
            lines.removeAt(i--);
        }
    }
    if (at < 0) {
        at = lines.indexOf(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(kPreviousRun)));
        if (at < 0)
            return summary; // nothing recorded: left as it is
    }
    for (const SavedFile &file : files)
        lines.insert(at++, kSaved + orNone(file.sha256) + QStringLiteral("  ") + file.path);
    return lines.join('\n');
}

QString RunProvenance::chainDigest(const QString &summary)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &line : summary.split('\n')) {
        if (isWorkbookLine(line))
            continue;
        hash.addData(line.toUtf8());
        hash.addData(QByteArrayView("\n", 1));
    }
    return QString::fromLatin1(hash.result().toHex());
}

QList<std::pair<QString, QString>> RunProvenance::documentProperties(const QString &rawPath, const QString &rawSha256)
{
    const QString name = QFileInfo(rawPath).fileName();
    const QDateTime started = QDateTime::fromString(name.left(19), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    return {{kRawFileProperty, name},
            {kRawHashProperty, rawSha256},
            {QStringLiteral("Halvern run started"), started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
            {QStringLiteral("Halvern version"), programVersion()}};
}
