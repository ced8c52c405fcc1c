#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <memory>

class EmulatorClock;
class RandomSource;

// Emulated instrument of model Strata. Each nextOutput() is one record line:
//   0 0042 :: 12-06-2026 14:03:59 = 57 (RAW)  23 (C)<CR><LF>
// with the measurement and temperature drawn at random between the limits
// the emulator panel keeps up to date.
class StrataModel {
public:
    // Null arguments use the machine's clock and a time-seeded generator.
    explicit StrataModel(std::shared_ptr<EmulatorClock> clock = nullptr,
                         std::shared_ptr<RandomSource> random = nullptr);

    void reset();
    // Reads the number at the start of the text (blanks skipped, &H/&O,
    // E/D exponents, halves to even); out of 16-bit range keeps the index.
    void setFourDigitIndex(QByteArrayView text);
    QByteArray getFourDigitIndex() const;
    // Throws std::overflow_error, producing no line, when a pair of limits
    // spans more than a signed 16-bit integer holds.
    QByteArray nextOutput();
    void setMinMeasurement(std::int16_t value) { m_minMeasurement = value; }
    void setMaxMeasurement(std::int16_t value) { m_maxMeasurement = value; }
    void setMinTemperature(std::int16_t value) { m_minTemperature = value; }
    void setMaxTemperature(std::int16_t value) { m_maxTemperature = value; }

private:
    QByteArray randomMeasurement();
    QByteArray randomTemperature();
    QByteArray randomBetween(std::int16_t min, std::int16_t max);

    std::int16_t m_leadNumber = 0;
    std::int16_t m_fourDigitIndex = 0;
    QByteArray m_measureUnit;
    QByteArray m_temperatureUnit;
    std::int16_t m_minMeasurement = 0;
    std::int16_t m_maxMeasurement = 0;
    std::int16_t m_minTemperature = 0;
    std::int16_t m_maxTemperature = 0;

    std::shared_ptr<EmulatorClock> m_clock;
    std::shared_ptr<RandomSource> m_random;
};
