#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// Emulated instrument of model Orbis: readings "9999" one a line and, after
// every m_eolFrequency readings, an end-of-line group of three empty lines.
class OrbisModel {
public:
    void reset();
    // Accepted for the common interface; the model has no index.
    void setFourDigitIndex(QByteArrayView) {}
    QByteArray getFourDigitIndex() const { return {}; }
    void turnOn() { m_on = true; }
    void turnOff() { m_on = false; }
    QByteArray nextOutput();
    void setMinMeasurement(std::int16_t) {}
    void setMaxMeasurement(std::int16_t) {}
    void setMinTemperature(std::int16_t) {}
    void setMaxTemperature(std::int16_t) {}
    // Takes effect at the next nextOutput; the running count is kept.
    void setEOLFrequency(std::int16_t value) { m_eolFrequency = value; }

private:
    std::int16_t m_eolFrequency = 0;
    std::int16_t m_sampleCount = 0;
    bool m_on = false;
};
