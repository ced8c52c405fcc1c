#pragma once

#include <functional>
#include <source_location>

class QTimer;

// Lets the event loop run (timers, socket notifiers, posted events) for ms
// milliseconds.
void runEventLoop(int ms);

// Runs the event loop until done() holds or timeoutMs have passed; true when
// done() held in time. A test case that passes its bound inside the wait is
// told with the wait's place (see CaseBound).
bool waitUntil(const std::function<bool()> &done, int timeoutMs,
               std::source_location where = std::source_location::current());

// Runs the event loop until the timer has fired `ticks` more times; false
// when that took longer than timeoutMs.
bool waitForTicks(const QTimer &timer, int ticks, int timeoutMs = 5000,
                  std::source_location where = std::source_location::current());
