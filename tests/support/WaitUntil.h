#pragma once

#include <functional>

// Lets the event loop run (timers, socket notifiers, posted events) for ms
// milliseconds.
void runEventLoop(int ms);

// Runs the event loop until done() holds or timeoutMs have passed; true when
// done() held in time.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
