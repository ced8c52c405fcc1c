#pragma once

#include <QString>

// The closing line of --verify and --verify-runs when nothing outside this
// login keeps the record too (a time-stamping authority, [Timestamp] Url=, or
// the lab archive, [Lab archive] Connection=): whoever can write the runs
// folder can then make every file and its record again, and the check cannot
// tell. Empty when a witness is set.
class WitnessNote {
public:
    static QString line();
};
