#pragma once

#include "MessageBoxes.h"

// Real message boxes: no icon, modal over the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    Answer show(const QString &text, const QString &title, Buttons buttons = Buttons::Ok) override;
};
