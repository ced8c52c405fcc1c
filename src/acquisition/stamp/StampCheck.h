#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// A run's time stamps, checked offline against the authority's CA file: each
// token must chain to it and stamp the hash of an entry of the run's record,
// at most ten minutes after the event the entry records. A record entry
// edited after it was stamped leaves its stamp matching nothing; a record
// made again after the fact is stamped too late.
class StampCheck {
public:
    static constexpr qint64 kMostDelaySeconds = 10 * 60;

    struct Entry {
        QByteArray digest; // what was stamped: 32 bytes
        QDateTime event;   // when the entry's event happened, as it records
        QString label;     // "entry 3 (save)"
    };
    struct Outcome {
        QStringList lines;
        QList<bool> lineFailed; // of each line
        bool failed = false;    // a token that does not match, a stamp too late, one missing where expected
    };

    // `expected`: the run was recorded with an authority set, so each entry
    // should have its stamp.
    static Outcome check(const QString &rawPath, const QList<Entry> &entries, const QString &caFile, bool expected);
};
