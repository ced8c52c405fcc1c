#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// Emulated instrument of model Orbis: readings "9999" one a line and, after
// every iEOLFrequency readings, an end-of-line group of three empty lines.
class clsOrbis {
public:
    void reset();
    // Accepted for the common interface; the model has no index.
    void setFourDigitIndex(QByteArrayView) {}
    QByteArray getFourDigitIndex() const { return {}; }
    void turnOn() { bOn = true; }
    void turnOff() { bOn = false; }
    QByteArray nextOutput();
    void setMinMeasurement(std::int16_t) {}
    void setMaxMeasurement(std::int16_t) {}
    void setMinTemperature(std::int16_t) {}
    void setMaxTemperature(std::int16_t) {}
    // Takes effect at the next nextOutput; the running count is kept.
    void setEOLFrequency(std::int16_t value) { iEOLFrequency = value; }

private:
    std::int16_t iEOLFrequency = 0;
    std::int16_t iSampleCount = 0;
    bool bOn = false;
};
