#include "FrontPanel.h"

#include <limits>

void FrontPanel::powerUp()
{
    m_sScreen = QStringLiteral("Power Up");
    m_iPowerUpCount = 300;
}

std::optional<FrontPanel::Lines> FrontPanel::updateDisplay()
{
    if (m_sScreen == u"Power Up") {
        Lines lines{QStringLiteral("QUENTARO WORKS"), QString::number(m_iPowerUpCount)};
        --m_iPowerUpCount;
        if (m_iPowerUpCount == 0)
            m_sScreen = QStringLiteral("Home");
        return lines;
    }
    if (m_sScreen == u"Home")
        return Lines{QStringLiteral("0.000"), QStringLiteral("Rdy")};
    if (m_sScreen == u"Go") {
        Lines lines{QStringLiteral("Int: ") + QString::number(m_iGoCount),
                    QStringLiteral("<ESC>- Abort")};
        // After about 10.8 hours the count rests at the lowest 16-bit value.
        if (m_iGoCount > std::numeric_limits<std::int16_t>::min())
            --m_iGoCount;
        return lines;
    }
    return std::nullopt;
}

void FrontPanel::pressGo()
{
    m_sScreen = QStringLiteral("Go");
    m_iGoCount = 6000;
}

void FrontPanel::pressEsc() { m_sScreen = QStringLiteral("Home"); }
