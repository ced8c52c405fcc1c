#pragma once

#include <QString>

// The outside time-stamping authority (RFC 3161) of Halvern's settings file,
// off unless set:
//   [Timestamp]
//   Url=http://tsa.example/
//   CaFile=/path/to/the/authority's/ca.pem
class TimestampSettings {
public:
    QString url;
    QString caFile; // the certificates a token is checked against

    bool enabled() const { return !url.isEmpty(); }

    static TimestampSettings load();
};
