#include "StopMacro.h"

#include "AcquisitionView.h"
#include "MacroSettings.h"
#include "RunTexts.h"

MacroCall::Result StopMacro::run(SpreadsheetApp &app, const MacroSettings &macro, AcquisitionView &view,
                                 bool cancellable)
{
    const MacroCall::Result result = MacroCall::run(
        app, macro,
        [&view](const QString &name, const std::function<void()> &cancel) { view.showMacroRunning(name, cancel); },
        cancellable);
    switch (result.outcome) {
    case MacroCall::Outcome::NotSet:
    case MacroCall::Outcome::Ran:
        break;
    case MacroCall::Outcome::Failed:
        view.setStatusText(RunTexts::kMacroFailed);
        view.setSpreadsheetLampTip(QStringLiteral("%1 %2: %3").arg(RunTexts::kMacroFailed, macro.name, result.reason));
        break;
    case MacroCall::Outcome::Cancelled:
        view.setStatusText(RunTexts::kMacroCancelled);
        view.setSpreadsheetLampTip(QStringLiteral("%1 %2").arg(RunTexts::kMacroCancelled, macro.name));
        break;
    }
    return result;
}
