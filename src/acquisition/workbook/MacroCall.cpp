#include "MacroCall.h"

#include "LogCategories.h"
#include "MacroSettings.h"
#include "UserMacro.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

namespace {
// A macro that ends within this time is not shown as running: no window
// flashes up for the usual quick one.
constexpr int kShowRunningAfterMs = 400;

// Thrown from the wait when the user gave up on the macro; it is no
// std::exception, so nothing on its way out mistakes it for the macro's failure.
struct Cancelled {};
} // namespace

MacroCall::Result MacroCall::run(SpreadsheetApp &app, const MacroSettings &settings)
{
    if (!settings.enabled || settings.name.isEmpty())
        return {};
    const UserMacro::Result ran = UserMacro::run(app, settings.name);
    return outcome(settings.name, {ran.ran, ran.reason, false});
}

void MacroCall::start(SpreadsheetApp &app, const MacroSettings &settings, Done done, const Running &running,
                      bool cancellable)
{
    if (!settings.enabled || settings.name.isEmpty() || !running || !QCoreApplication::instance()) {
        done(run(app, settings));
        return;
    }
    new MacroCall(app, settings.name, std::move(done), running, cancellable); // deletes itself once done
}

MacroCall::MacroCall(SpreadsheetApp &app, QString name, Done done, Running running, bool cancellable)
    : m_name(std::move(name)), m_done(std::move(done)), m_running(std::move(running)), m_cancellable(cancellable)
{
    m_show.setSingleShot(true);
    connect(&m_show, &QTimer::timeout, this, &MacroCall::showRunning);
    m_show.start(kShowRunningAfterMs);
    // Set up before the call starts, so that its end cannot go unseen.
    connect(&m_call, &QFutureWatcher<Ended>::finished, this, &MacroCall::finish);
    m_call.setFuture(QtConcurrent::run([&app, name = m_name, stop = m_stop] {
        Ended ended;
        try {
            const UserMacro::Result ran = UserMacro::run(app, name, [&stop] {
                if (*stop)
                    throw Cancelled{};
            });
            ended.ran = ran.ran;
            ended.reason = ran.reason;
        } catch (const Cancelled &) {
            ended.cancelled = true;
        }
        return ended;
    }));
}

// Only finish() deletes this object, once the call has ended; a program that
// ends under a running macro still waits for it here.
MacroCall::~MacroCall() { m_call.waitForFinished(); }

void MacroCall::showRunning()
{
    m_shown = true;
    std::function<void()> cancel;
    if (m_cancellable)
        cancel = [stop = m_stop] { *stop = true; };
    m_running(m_name, cancel);
}

void MacroCall::finish()
{
    m_show.stop();
    if (m_shown)
        m_running(QString(), {});
    const Result result = outcome(m_name, m_call.result());
    const Done done = std::move(m_done);
    deleteLater();
    done(result);
}

MacroCall::Result MacroCall::outcome(const QString &name, const Ended &ended)
{
    if (ended.cancelled) {
        qCWarning(lcWorkbook).noquote() << "User macro" << name << "was stopped by the user";
        return {Outcome::Cancelled, QStringLiteral("stopped with Cancel"),
                QStringLiteral("User macro: %1 was stopped with Cancel; the workbook was saved without its work\n")
                    .arg(name)};
    }
    if (ended.ran)
        return {Outcome::Ran, QString(), QStringLiteral("User macro: %1 ran\n").arg(name)};
    // Logged here, where the failure is known, and nowhere else.
    qCWarning(lcWorkbook).noquote() << "User macro" << name << "did not run:" << ended.reason;
    return {Outcome::Failed, ended.reason, QStringLiteral("User macro: %1 did NOT run: %2\n").arg(name, ended.reason)};
}
