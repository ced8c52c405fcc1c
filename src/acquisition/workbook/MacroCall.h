#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

class SpreadsheetApp;
struct MacroSettings;

// The user macro before the save, called the same way at a live Stop and in
// a rebuild. With a window the call runs on a thread of Qt's pool and its
// outcome comes back to this thread as a continuation: no event loop is
// entered here, so the windows stay alive without being re-entered from
// inside an office call. A macro that takes longer than a moment is shown
// as running; in a rebuild it may be stopped (Cancel), which leaves the
// office to be ended by the caller.
class MacroCall : public QObject {
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
    // Takes the outcome, on the thread that started the call.
    using Done = std::function<void(const Result &)>;

    // Runs the macro `settings` enable and waits for it here, with no event
    // loop (the console's replay).
    static Result run(SpreadsheetApp &app, const MacroSettings &settings);
    // Starts the macro `settings` enable; `done` takes its outcome once it
    // has ended. `app` and whatever `done` reaches must stay until then.
    // Without a macro, without `running` or without an application object
    // the call is made here and `done` is called before start() returns, so
    // those paths keep their order and timing.
    static void start(SpreadsheetApp &app, const MacroSettings &settings, Done done, const Running &running = {},
                      bool cancellable = false);

    ~MacroCall() override;

private:
    MacroCall(SpreadsheetApp &app, QString name, Done done, Running running, bool cancellable);
    void showRunning();
    // How the call on the pool's thread ended.
    struct Ended {
        bool ran = false;
        QString reason;
        bool cancelled = false;
    };
    // On this object's thread once the call has ended.
    void finish();
    static Result outcome(const QString &name, const Ended &ended);

    QString m_name;
    Done m_done;
    Running m_running;
    bool m_cancellable;
    bool m_shown = false;
    QTimer m_show;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QFutureWatcher<Ended> m_call;
};
