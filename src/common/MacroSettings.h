#pragma once

#include <QString>

// The user macro run at Stop, as stored in the settings ("Excel Macro").
// The main window loads and stores it and hands it to the run at Stop.
struct MacroSettings {
    bool enabled = false;
    QString name;
};
