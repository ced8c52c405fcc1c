#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class PortPicker;
class MacroEditor;
class SerialComm;
struct MacroSettings;

// The main window's "S&elect COM port" button: asks for a port preset to the
// one in use, gives the answer to the serial component and shows "COM " and
// the port the component then reports through setLabel. A number the
// component refuses leaves the port as it was. Returns the port in use.
std::int16_t selectComPort(PortPicker &picker, SerialComm &comm, const std::function<void(const QString &)> &setLabel);

// The main window's macro settings button: presets the dialog from `macro`
// and stores its values back only when it was closed with OK.
// Returns true when `macro` was written.
bool editMacroSettings(MacroEditor &editor, MacroSettings &macro);
