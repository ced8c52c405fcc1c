#pragma once

// Benchmarks with windows run on the offscreen platform when there is no
// display and no platform was chosen (header only).
#include <QtGlobal>

inline void useOffscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
