#pragma once

#include <QByteArray>

// The SQL that makes the archive's schema (halvern-archive.sql): printed by
// `halvern --archive-schema` and installed beside the program.
class ArchiveSchema {
public:
    static QByteArray sql();
};
