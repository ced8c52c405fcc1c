#pragma once

#include "OrbisModel.h"
#include "StrataModel.h"

#include <QStringView>
#include <memory>
#include <optional>

// The two emulated instrument models, made and reset once at start-up and
// kept for the program's lifetime, so that an emulator window opened again
// goes on where the last one stopped.
class EmulatedInstruments {
public:
    enum class Model { Strata, Orbis };

    // The emulated model of a machine's name ("Strata", "VX-Orbis"); none for
    // a machine that is not emulated.
    static std::optional<Model> modelNamed(QStringView machine)
    {
        if (machine == u"Strata")
            return Model::Strata;
        if (machine == u"VX-Orbis")
            return Model::Orbis;
        return std::nullopt;
    }

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
    // The next output of `model`.
    QByteArray nextOutput(Model model) { return model == Model::Strata ? m_strata.nextOutput() : m_orbis.nextOutput(); }

private:
    StrataModel m_strata;
    OrbisModel m_orbis;
};
