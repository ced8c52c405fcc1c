#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The time-stamp tokens of a run, kept beside it as "<base>.stamps": one line
// a token, "<SHA-256 stamped, hex> <the authority's reply, base64>", appended
// as the replies come in (private to the user, never through a link).
class StampFile {
public:
    struct Stamp {
        QByteArray digest; // 32 bytes
        QByteArray token;  // the reply, DER
    };
    struct Read {
        QList<Stamp> stamps;
        int unreadableLines = 0;
        QString failure; // the file is there but cannot be read
    };

    static QString pathFor(const QString &rawPath);
    static std::optional<Failure> append(const QString &rawPath, const Stamp &stamp);
    // Every stamp kept for the run; none when there is no file.
    static Read read(const QString &rawPath);
};
