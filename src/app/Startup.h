#pragma once

#include "frmMain.h"

#include <memory>

class SingleInstance;

// Start-up: refuses to run a second copy and shows the main window. Returns
// the window, or null when the program must end at once (second copy, or the
// window's load failed).
std::unique_ptr<frmMain> startUp(frmMain::Services services, SingleInstance &instance);
