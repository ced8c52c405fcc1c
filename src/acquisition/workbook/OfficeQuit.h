#pragma once

#include <memory>

class SpreadsheetApp;

// The one way an office of ours is quit: a stuck one is ended, and why it
// did not quit is logged.
class OfficeQuit {
public:
    // Quits `app` (nothing when null) and lets it go.
    static void quit(std::shared_ptr<SpreadsheetApp> &app);
};
