#include "AppSettings.h"

#include "LogCategories.h"
#include "PlainFile.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <sys/stat.h>

namespace {
// Where QSettings keeps the user's settings: $XDG_CONFIG_HOME/Halvern/Halvern.conf.
QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Halvern/Halvern.conf");
}

// The user's settings; when something other than a plain file stands in
// their place (a FIFO would hold the program at its first read, a link would
// carry the writes elsewhere), settings of this session alone, and the
// reason is logged.
QSettings store()
{
    const QString path = settingsPath();
    struct stat info {};
    const bool there = ::lstat(QFile::encodeName(path).constData(), &info) == 0 || errno != ENOENT;
    const std::optional<Failure> refused = there ? PlainFile::check(path) : std::nullopt;
    if (!refused)
        return QSettings(QSettings::UserScope, "Halvern", "Halvern");
    static const bool told = [&refused] {
        qCWarning(lcApp).noquote() << "The settings are not read or kept:" << refused->reason;
        return true;
    }();
    Q_UNUSED(told);
    static QTemporaryDir scratch;
    return QSettings(scratch.filePath(QStringLiteral("Halvern.conf")), QSettings::IniFormat);
}
} // namespace

QString AppSettings::get(const QString &section, const QString &key, const QString &defaultValue)
{
    const QVariant v = store().value(section + '/' + key);
    return v.isValid() ? v.toString() : defaultValue;
}

void AppSettings::save(const QString &section, const QString &key, const QString &value)
{
    QSettings s = store();
    s.setValue(section + '/' + key, value);
    s.sync();
}

QString AppSettings::folder() { return QFileInfo(settingsPath()).absolutePath(); }

bool AppSettings::parseBool(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    if (t.compare("True", Qt::CaseInsensitive) == 0) {
        *ok = true;
        return true;
    }
    if (t.compare("False", Qt::CaseInsensitive) == 0) {
        *ok = true;
        return false;
    }
    *ok = false;
    return false;
}
