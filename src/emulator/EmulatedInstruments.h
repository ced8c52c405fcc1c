#pragma once

#include "OrbisModel.h"
#include "StrataModel.h"

#include <memory>

// The two emulated instrument models, made and reset once at start-up and
// kept for the program's lifetime, so that an emulator window opened again
// goes on where the last one stopped.
class EmulatedInstruments {
public:
    // Null arguments give Strata the machine's clock and a time-seeded generator.
    explicit EmulatedInstruments(std::shared_ptr<EmulatorClock> clock = nullptr,
                                 std::shared_ptr<RandomSource> random = nullptr)
        : m_strata(std::move(clock), std::move(random))
    {
        m_strata.reset();
        m_orbis.reset();
    }

    StrataModel &strata() { return m_strata; }
    OrbisModel &orbis() { return m_orbis; }

private:
    StrataModel m_strata;
    OrbisModel m_orbis;
};
