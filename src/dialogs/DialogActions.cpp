#include "DialogActions.h"

#include "LogCategories.h"
#include "MacroSettings.h"
#include "MacroEditor.h"
#include "PortPicker.h"
#include "SerialComm.h"

#include <limits>

std::int16_t selectComPort(PortPicker &picker, SerialComm &comm, const std::function<void(const QString &)> &setLabel)
{
    // The dialog takes an unsigned 8-bit port; anything that does not fit
    // (or cannot be read) goes in as 0, which presets no choice.
    std::int16_t current = 0;
    try {
        current = comm.commPort();
    } catch (const CommError &e) {
        qCWarning(lcSerial).noquote() << "The COM port is not known:" << e.description();
    }
    const std::uint8_t asked =
        current >= 0 && current <= std::numeric_limits<std::uint8_t>::max() ? static_cast<std::uint8_t>(current) : 0;

    const std::int16_t chosen = picker.GetPort(asked);
    try {
        comm.setCommPort(chosen);
    } catch (const CommError &e) {
        qCWarning(lcSerial).noquote() << "The chosen COM port is refused:" << e.description();
        // Refused: the component keeps its port and the label shows that one.
    }

    std::int16_t inUse = current; // NOLINT(clang-analyzer-deadcode.DeadStores): kept when commPort() throws
    try {
        inUse = comm.commPort();
    } catch (const CommError &e) {
        qCWarning(lcSerial).noquote() << "The COM port is not known:" << e.description();
    }
    if (setLabel)
        setLabel(QStringLiteral("COM ") + QString::number(inUse));
    return inUse;
}

bool editMacroSettings(MacroEditor &editor, MacroSettings &macro)
{
    editor.setMacroEnable(macro.enabled);
    editor.setMacroName(macro.name);
    if (!editor.ShowForm())
        return false;
    macro.enabled = editor.MacroEnable();
    macro.name = editor.MacroName();
    return true;
}
