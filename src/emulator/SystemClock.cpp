#include "SystemClock.h"

QDateTime SystemClock::localNow() const { return QDateTime::currentDateTime(); }
