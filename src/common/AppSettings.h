#pragma once

#include <QString>

// The per-user settings store: application name "Halvern", then section and
// key; every value is a string. Lives in ~/.config/Halvern/Halvern.conf
// (XDG_CONFIG_HOME moves it).
class AppSettings {
public:
    static QString get(const QString &section, const QString &key, const QString &defaultValue);
    static void save(const QString &section, const QString &key, const QString &value);
    // Folder of the settings file; the serial port map "ports.conf" lives there too.
    static QString folder();

    // Booleans are stored as the text True or False and read back ignoring case.
    static QString boolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }
    static bool parseBool(const QString &text, bool *ok);
};
