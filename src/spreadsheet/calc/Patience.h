#pragma once

#include <chrono>
#include <functional>
#include <optional>

// How long an office call without a fixed time limit is waited for (a save,
// a macro). The office may take as long as it keeps working; a call is given
// up only when the office has used no processor time for `stall`, or when
// the caller cancels. A call given up goes on in the office.
struct Patience {
    // Nothing: no stall ends the wait (a macro may be waiting for the user).
    std::optional<std::chrono::milliseconds> stall;
    // How often the caller looks up meanwhile.
    std::chrono::milliseconds step{500};
    // Told at each look, with the whole seconds since the call began.
    std::function<void(int seconds)> notice;
    // Asked at each look; true gives up the wait.
    std::function<bool()> cancelled;
};
