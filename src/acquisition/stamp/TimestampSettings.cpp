#include "TimestampSettings.h"

#include "AppSettings.h"

TimestampSettings TimestampSettings::load()
{
    TimestampSettings settings;
    settings.url = AppSettings::get(QStringLiteral("Timestamp"), QStringLiteral("Url"), QString()).trimmed();
    settings.caFile = AppSettings::get(QStringLiteral("Timestamp"), QStringLiteral("CaFile"), QString()).trimmed();
    return settings;
}
