#include "OrbisModel.h"

void OrbisModel::reset()
{
    m_eolFrequency = 16;
    m_sampleCount = 16;
    m_on = true;
}

QByteArray OrbisModel::nextOutput()
{
    if (!m_on)
        return {};
    // The count only rises while below the frequency, so it cannot overflow.
    if (m_sampleCount < m_eolFrequency) {
        ++m_sampleCount;
        return QByteArrayLiteral("9999\r\n");
    }
    m_sampleCount = 0;
    return QByteArrayLiteral("\r\n\r\n\r\n");
}
