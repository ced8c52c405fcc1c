#pragma once

#include "EmulatorClock.h"
#include "RandomSource.h"

#include <QList>
#include <vector>

// A clock that stands still at `now`, or hands out `sequence` one read at a
// time (then stays at its last entry).
class FakeClock : public EmulatorClock {
public:
    explicit FakeClock(QDateTime at = QDateTime(QDate(2026, 12, 6), QTime(14, 3, 59))) : now(std::move(at)) {}
    QDateTime localNow() const override
    {
        ++reads;
        if (!sequence.isEmpty()) {
            now = sequence.size() > 1 ? sequence.takeFirst() : sequence.first();
        }
        return now;
    }
    mutable QDateTime now;
    mutable QList<QDateTime> sequence;
    mutable int reads = 0;
};

// Records every reseed and answers with the scripted numbers in turn
// (repeating the last one), so a test knows each draw exactly.
class ScriptedRandom : public RandomSource {
public:
    void reseed(double secondsSinceMidnight) override { seeds.push_back(secondsSinceMidnight); }
    float next() override
    {
        const float r = values.empty() ? 0.0f : values[std::min(position, values.size() - 1)];
        ++position;
        return r;
    }
    std::vector<float> values;
    std::size_t position = 0;
    std::vector<double> seeds;
};
