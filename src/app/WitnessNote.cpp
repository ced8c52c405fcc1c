#include "WitnessNote.h"

#include "AppSettings.h"

QString WitnessNote::line()
{
    const bool stamped =
        !AppSettings::get(QStringLiteral("Timestamp"), QStringLiteral("Url"), QString()).trimmed().isEmpty();
    const bool archived =
        !AppSettings::get(QStringLiteral("Lab archive"), QStringLiteral("Connection"), QString()).trimmed().isEmpty();
    if (stamped || archived)
        return QString();
    return QStringLiteral("No outside witness is set (no time-stamping authority, no lab archive): this record is "
                          "only as safe as this login");
}
