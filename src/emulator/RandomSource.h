#pragma once

// A pseudo-random generator that is reseeded from the time of day before
// every draw. Injected into the Strata model so tests can pin its readings.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // secondsSinceMidnight: the local time of day, with its fraction.
    virtual void reseed(double secondsSinceMidnight) = 0;
    // Next number, uniform in [0, 1) with 24-bit resolution.
    virtual float next() = 0;
};
