#include "FrontPanel.h"

#include <limits>

void FrontPanel::powerUp()
{
    m_screen = QStringLiteral("Power Up");
    m_powerUpCount = 300;
}

std::optional<FrontPanel::Lines> FrontPanel::updateDisplay()
{
    if (m_screen == u"Power Up") {
        Lines lines{QStringLiteral("QUENTARO WORKS"), QString::number(m_powerUpCount)};
        --m_powerUpCount;
        if (m_powerUpCount == 0)
            m_screen = QStringLiteral("Home");
        return lines;
    }
    if (m_screen == u"Home")
        return Lines{QStringLiteral("0.000"), QStringLiteral("Rdy")};
    if (m_screen == u"Go") {
        Lines lines{QStringLiteral("Int: ") + QString::number(m_goCount), QStringLiteral("<ESC>- Abort")};
        // After about 10.8 hours the count rests at the lowest 16-bit value.
        if (m_goCount > std::numeric_limits<std::int16_t>::min())
            --m_goCount;
        return lines;
    }
    return std::nullopt;
}

void FrontPanel::pressGo()
{
    m_screen = QStringLiteral("Go");
    m_goCount = 6000;
}

void FrontPanel::pressEsc() { m_screen = QStringLiteral("Home"); }
