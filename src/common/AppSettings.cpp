#include "AppSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace {
QSettings store() { return QSettings(QSettings::UserScope, "Halvern", "Halvern"); }
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

QString AppSettings::folder() { return QFileInfo(store().fileName()).absolutePath(); }

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
