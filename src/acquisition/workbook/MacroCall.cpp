#include "MacroCall.h"

#include "LogCategories.h"
#include "MacroSettings.h"
#include "UserMacro.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <thread>

namespace {
// A macro that ends within this time is not shown as running: no window
// flashes up for the usual quick one.
constexpr int kShowRunningAfterMs = 400;

// Thrown from the wait when the user gave up on the macro; it is no
// std::exception, so nothing on its way out mistakes it for the macro's failure.
struct Cancelled {};
} // namespace

MacroCall::Result MacroCall::run(SpreadsheetApp &app, const MacroSettings &settings, const Running &running,
                                 bool cancellable)
{
    if (!settings.enabled || settings.name.isEmpty())
        return {};
    const QString name = settings.name;
    UserMacro::Result ran;
    bool cancelled = false;
    if (!running || !QCoreApplication::instance()) {
        ran = UserMacro::run(app, name);
    } else {
        std::atomic<bool> stop{false};
        std::atomic<bool> done{false};
        QEventLoop loop;
        std::thread call([&] {
            try {
                ran = UserMacro::run(app, name, [&stop] {
                    if (stop)
                        throw Cancelled{};
                });
            } catch (const Cancelled &) {
                cancelled = true;
            }
            done = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        bool shown = false;
        QTimer show;
        show.setSingleShot(true);
        QObject::connect(&show, &QTimer::timeout, &loop, [&] {
            shown = true;
            running(name, cancellable ? std::function<void()>([&stop] { stop = true; }) : std::function<void()>());
            loop.quit(); // on to the wait that takes the shown dialog's clicks
        });
        show.start(kShowRunningAfterMs);
        // No clicks before the macro is shown as running: the window's
        // buttons already stand for a stopped run.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!done)
            loop.exec();
        call.join();
        show.stop();
        if (shown)
            running(QString(), {});
    }
    if (cancelled) {
        qCWarning(lcWorkbook).noquote() << "User macro" << name << "was stopped by the user";
        return {Outcome::Cancelled, QStringLiteral("stopped with Cancel"),
                QStringLiteral("User macro: %1 was stopped with Cancel; the workbook was saved without its work\n")
                    .arg(name)};
    }
    if (ran)
        return {Outcome::Ran, QString(), QStringLiteral("User macro: %1 ran\n").arg(name)};
    // Logged here, where the failure is known, and nowhere else.
    qCWarning(lcWorkbook).noquote() << "User macro" << name << "did not run:" << ran.reason;
    return {Outcome::Failed, ran.reason, QStringLiteral("User macro: %1 did NOT run: %2\n").arg(name, ran.reason)};
}
