#include "clsOrbis.h"

void clsOrbis::reset()
{
    iEOLFrequency = 16;
    iSampleCount = 16;
    bOn = true;
}

QByteArray clsOrbis::nextOutput()
{
    if (!bOn)
        return {};
    // The count only rises while below the frequency, so it cannot overflow.
    if (iSampleCount < iEOLFrequency) {
        ++iSampleCount;
        return QByteArrayLiteral("9999\r\n");
    }
    iSampleCount = 0;
    return QByteArrayLiteral("\r\n\r\n\r\n");
}
