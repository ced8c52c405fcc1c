#include "TimeSeededRandom.h"

#include <cstdint>
#include <cstring>

void TimeSeededRandom::reseed(double secondsSinceMidnight)
{
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof secondsSinceMidnight);
    std::memcpy(&bits, &secondsSinceMidnight, sizeof bits);
    std::seed_seq seq{static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32)};
    m_engine.seed(seq);
}

float TimeSeededRandom::next()
{
    // The top 24 bits of one output: exactly representable in a float, < 1.
    return static_cast<float>(m_engine() >> 8) / 16777216.0f;
}
