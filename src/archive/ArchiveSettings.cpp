#include "ArchiveSettings.h"

#include "AppSettings.h"
#include "ArchiveWords.h"

namespace {
const QString kSection = QStringLiteral("Lab archive");
const QString kKey = QStringLiteral("Connection");
} // namespace

QString ArchiveSettings::connection()
{
    const QString saved = AppSettings::get(kSection, kKey, QString()).trimmed();
    // A password that reached the file by hand is not used from there either.
    if (saved.isEmpty() || ArchiveWords::holdsPassword(saved))
        return ArchiveWords::defaultConnection();
    return saved;
}

std::optional<Failure> ArchiveSettings::save(const QString &conninfo)
{
    if (ArchiveWords::holdsPassword(conninfo))
        return Failure{QStringLiteral("A password is never kept in Halvern's settings: put it in ~/.pgpass "
                                      "(mode 0600) and leave it out of the connection string")};
    AppSettings::save(kSection, kKey,
                      conninfo.trimmed() == ArchiveWords::defaultConnection() ? QString() : conninfo.trimmed());
    return std::nullopt;
}
