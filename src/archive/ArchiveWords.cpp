#include "ArchiveWords.h"

#include <QStringList>
#include <libpq-fe.h>
#include <optional>

namespace {
QString firstLine(const QString &text) { return text.trimmed().section('\n', 0, 0); }

// Each key=value of a connection string, libpq's own way of reading it; the
// password left out when `keepPassword` is false. Nothing when it does not parse.
std::optional<QString> rebuilt(const QString &conninfo, bool keepPassword, bool *hadPassword)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        PQfreemem(error);
        return std::nullopt;
    }
    QStringList parts;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        const QString key = QString::fromUtf8(o->keyword);
        if (key == QLatin1String("password")) {
            if (hadPassword)
                *hadPassword = true;
            if (!keepPassword)
                continue;
        }
        QString value = QString::fromUtf8(o->val);
        if (value.contains(' ') || value.contains('\'') || value.contains('\\'))
            value = '\'' + value.replace('\\', QLatin1String("\\\\")).replace('\'', QLatin1String("\\'")) + '\'';
        parts << key + '=' + value;
    }
    PQconninfoFree(options);
    return parts.join(' ');
}
} // namespace

QString ArchiveWords::connectFailure(const QString &libpqMessage)
{
    const QString m = libpqMessage;
    if (m.contains(QLatin1String("password authentication failed")))
        return QStringLiteral("The archive server refused the password (check ~/.pgpass): ") + firstLine(m);
    if (m.contains(QLatin1String("no password supplied")))
        return QStringLiteral("The archive server asks for a password and none is given: put it in ~/.pgpass");
    if (m.contains(QLatin1String("definition of service")))
        return noService();
    if (m.contains(QLatin1String("no pg_hba.conf entry")))
        return QStringLiteral("The archive server does not let this computer or login in (pg_hba.conf): ")
               + firstLine(m);
    if (m.contains(QLatin1String("does not exist")))
        return QStringLiteral("The archive server does not know this database or login: ") + firstLine(m);
    if (m.contains(QLatin1String("certificate")) || m.contains(QLatin1String("SSL")))
        return QStringLiteral("The archive server's certificate is not trusted: ") + firstLine(m);
    return QStringLiteral("The archive server cannot be reached: ") + firstLine(m);
}

QString ArchiveWords::queryFailure(const QString &sqlState, const QString &serverMessage)
{
    if (sqlState == QLatin1String("3F000") || sqlState == QLatin1String("42P01"))
        return schemaMissing();
    if (sqlState == QLatin1String("42501"))
        return QStringLiteral("The archive refused: ") + firstLine(serverMessage);
    if (sqlState.startsWith(QLatin1String("08")) || sqlState.isEmpty())
        return QStringLiteral("The archive server cannot be reached: ") + firstLine(serverMessage);
    return QStringLiteral("The archive refused: ") + firstLine(serverMessage);
}

QString ArchiveWords::noService()
{
    return QStringLiteral("No lab archive is set up: the PostgreSQL service \"halvern\" is not defined "
                          "(pg_service.conf, ~/.pg_service.conf or PGSERVICEFILE)");
}

QString ArchiveWords::schemaMissing()
{
    return QStringLiteral("The archive has no Halvern schema: the database administrator makes it with the "
                          "output of `halvern --archive-schema`");
}

QString ArchiveWords::noWriterRights(const QString &login)
{
    return QStringLiteral("The login %1 has no halvern_writer rights: the database administrator grants them "
                          "with GRANT halvern_writer TO %1")
        .arg(login);
}

QString ArchiveWords::withoutPassword(const QString &conninfo)
{
    return rebuilt(conninfo, false, nullptr).value_or(QStringLiteral("(a connection string that does not parse)"));
}

bool ArchiveWords::holdsPassword(const QString &conninfo)
{
    bool had = false;
    rebuilt(conninfo, true, &had);
    return had;
}
