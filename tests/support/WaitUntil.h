#pragma once

#include <functional>

class QTimer;

// Lets the event loop run (timers, socket notifiers, posted events) for ms
// milliseconds.
void runEventLoop(int ms);

// Runs the event loop until done() holds or timeoutMs have passed; true when
// done() held in time.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);

// Runs the event loop until the timer has fired `ticks` more times; false
// when that took longer than timeoutMs.
bool waitForTicks(const QTimer &timer, int ticks, int timeoutMs = 5000);
