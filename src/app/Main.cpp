#include "Main.h"

#include "Globals.h"
#include "MessageBoxes.h"
#include "SingleInstance.h"
#include "clsOrbis.h"
#include "clsStrata.h"

std::unique_ptr<frmMain> Main(frmMain::Services services, SingleInstance &instance)
{
    if (!instance.tryAcquire()) {
        services.boxes.show("The spreadsheet interface GUI is already running.  Please use it.",
                            "Cannot run more than one copy of this program.");
        return nullptr;
    }

    Globals &g = services.globals;
    g.objStrata = std::make_shared<clsStrata>();
    g.objStrata->reset();
    g.objOrbis = std::make_shared<clsOrbis>();
    g.objOrbis->reset();

    auto window = std::make_unique<frmMain>(std::move(services));
    if (!window->Form_Load())
        return nullptr;
    window->show();
    return window;
}
