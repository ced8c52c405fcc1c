#pragma once

#include <QString>
#include <functional>

class SpreadsheetApp;
struct MacroSettings;

// The user macro before the save, called the same way at a live Stop and in
// a rebuild. The call runs on a thread of its own while this one waits in a
// local event loop, so the windows stay alive without being re-entered from
// inside an office call. A macro that takes longer than a moment is shown
// as running; in a rebuild it may be stopped (Cancel), which leaves the
// office to be ended by the caller.
class MacroCall {
public:
    enum class Outcome { NotSet, Ran, Failed, Cancelled };
    struct Result {
        Outcome outcome = Outcome::NotSet;
        QString reason;      // why it did not run
        QString summaryLine; // the run summary's line about it; empty when no macro is set
    };
    // Called with the macro's name once it has taken a while, then with an
    // empty name when it ends. `cancel`, when set, stops the wait for it.
    using Running = std::function<void(const QString &macro, const std::function<void()> &cancel)>;

    // Runs the macro `settings` enable. Without `running` (or without an
    // application object) it is waited for here, with no event loop.
    static Result run(SpreadsheetApp &app, const MacroSettings &settings, const Running &running = {},
                      bool cancellable = false);
};
