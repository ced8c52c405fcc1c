#include "StopMacro.h"

#include "AcquisitionView.h"
#include "LogCategories.h"
#include "MacroSettings.h"
#include "RunTexts.h"
#include "UserMacro.h"

#include <QElapsedTimer>

namespace {
using RunTexts::kMacroFailed;
// A macro that ends within this time is not shown as running: no window
// flashes up for the usual quick one.
constexpr qint64 kShowRunningAfterMs = 400;
} // namespace

QString StopMacro::run(SpreadsheetApp &app, const MacroSettings &macro, AcquisitionView &view)
{
    if (!macro.enabled || macro.name.isEmpty())
        return QString();
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    const UserMacro::Result result = UserMacro::run(app, macro.name, [&] {
        if (!shown && clock.elapsed() >= kShowRunningAfterMs) {
            view.showMacroRunning(macro.name);
            shown = true;
        }
        if (shown)
            view.processEvents();
    });
    if (shown)
        view.showMacroRunning(QString());
    if (result)
        return QStringLiteral("User macro: %1 ran\n").arg(macro.name);
    qCWarning(lcWorkbook).noquote() << "User macro" << macro.name << "did not run:" << result.reason;
    view.setStatusText(kMacroFailed);
    view.setSpreadsheetLampTip(QStringLiteral("%1 %2: %3").arg(kMacroFailed, macro.name, result.reason));
    return QStringLiteral("User macro: %1 did NOT run: %2\n").arg(macro.name, result.reason);
}
