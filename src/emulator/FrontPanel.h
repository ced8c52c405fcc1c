#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The screen sequence of the instrument's two-line front-panel display:
// a power-up count-down with the maker's name, the home screen, and the Go
// screen with its own count-down. The window paints what updateDisplay()
// returns once a second; the keys only change the state.
class FrontPanel {
public:
    struct Lines {
        QString line1;
        QString line2;
    };

    // Starts the sequence afresh: "Power Up" counting down from 300.
    void powerUp();
    // The lines to show now, or nothing to leave the display as it is; then
    // advances the counters.
    std::optional<Lines> updateDisplay();
    void pressGo();
    void pressEsc();

    const QString &screen() const { return m_screen; }
    std::int16_t powerUpCount() const { return m_powerUpCount; }
    std::int16_t goCount() const { return m_goCount; }

private:
    QString m_screen;
    std::int16_t m_powerUpCount = 0;
    std::int16_t m_goCount = 0;
};
