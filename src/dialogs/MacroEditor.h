#pragma once

#include <QString>

// What the main window needs of the macro settings dialog.
class MacroEditor {
public:
    virtual ~MacroEditor() = default;
    virtual bool MacroEnable() const = 0;
    virtual void setMacroEnable(bool enable) = 0;
    virtual QString MacroName() const = 0;
    virtual void setMacroName(const QString &name) = 0;
    // Lets the user edit both; True when closed with OK, False when cancelled.
    virtual bool ShowForm() = 0;
};
