#include "StopMacro.h"

#include "AcquisitionView.h"
#include "MacroSettings.h"
#include "RunTexts.h"

void StopMacro::start(SpreadsheetApp &app, const MacroSettings &macro, AcquisitionView &view, MacroCall::Done done,
                      bool cancellable)
{
    MacroCall::start(
        app, macro,
        [&view, name = macro.name, done = std::move(done)](const MacroCall::Result &result) {
            switch (result.outcome) {
            case MacroCall::Outcome::NotSet:
            case MacroCall::Outcome::Ran:
                break;
            case MacroCall::Outcome::Failed:
                view.setStatusText(RunTexts::kMacroFailed);
                view.setSpreadsheetLampTip(
                    QStringLiteral("%1 %2: %3").arg(RunTexts::kMacroFailed, name, result.reason));
                break;
            case MacroCall::Outcome::Cancelled:
                view.setStatusText(RunTexts::kMacroCancelled);
                view.setSpreadsheetLampTip(QStringLiteral("%1 %2").arg(RunTexts::kMacroCancelled, name));
                break;
            }
            done(result);
        },
        [&view](const QString &name, const std::function<void()> &cancel) { view.showMacroRunning(name, cancel); },
        cancellable);
}
