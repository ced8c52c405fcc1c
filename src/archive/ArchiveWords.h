#pragma once

#include <QString>

// What libpq and the server say, told to a person in plain words: the
// server cannot be reached, the password is refused, the schema is missing,
// this login is not in halvern_writer. A connection string is shown only
// without its password.
class ArchiveWords {
public:
    // The default connection: the libpq service "halvern".
    static QString defaultConnection() { return QStringLiteral("service=halvern"); }

    // A failed connection's message from libpq, in plain words.
    static QString connectFailure(const QString &libpqMessage);
    // A failed query's message from the server, in plain words.
    static QString queryFailure(const QString &sqlState, const QString &serverMessage);

    static QString schemaMissing();
    // No service "halvern" is defined: no archive is set up.
    static QString noService();
    static QString noWriterRights(const QString &login);

    // `conninfo` without a password ("password=..." or one in a URI).
    static QString withoutPassword(const QString &conninfo);
    // True when `conninfo` holds a password of its own.
    static bool holdsPassword(const QString &conninfo);
};
