#include "Startup.h"

#include "MessageBoxes.h"
#include "SingleInstance.h"

std::unique_ptr<frmMain> startUp(frmMain::Services services, SingleInstance &instance)
{
    if (!instance.tryAcquire()) {
        services.boxes.show("The spreadsheet interface GUI is already running.  Please use it.",
                            "Cannot run more than one copy of this program.");
        return nullptr;
    }

    auto window = std::make_unique<frmMain>(std::move(services));
    if (!window->Form_Load())
        return nullptr;
    window->show();
    return window;
}
