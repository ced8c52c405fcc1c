#pragma once

#include "Failure.h"

#include <QString>
#include <optional>

// The connection to the archive in use: the libpq service "halvern" unless
// the user entered another connection string in the Lab archive window. A
// string holding a password is never kept: passwords belong in ~/.pgpass.
class ArchiveSettings {
public:
    // The string in use ("service=halvern" by default).
    static QString connection();
    // Keeps `conninfo` (empty: back to the service); refused with a password in it.
    static std::optional<Failure> save(const QString &conninfo);
};
