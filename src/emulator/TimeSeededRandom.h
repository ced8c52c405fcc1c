#pragma once

#include "RandomSource.h"

#include <random>

// Mersenne twister seeded from the exact bits of the time of day, so two
// reseeds a fraction of a second apart still start different sequences.
class TimeSeededRandom : public RandomSource {
public:
    void reseed(double secondsSinceMidnight) override;
    float next() override;

private:
    std::mt19937 m_engine;
};
