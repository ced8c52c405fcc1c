#pragma once

#include <QString>

// Every message box of the program goes through this interface: a box with a
// text, a title, no icon and either OK, OK and Cancel, or "Try again" and
// Cancel ("Try again" answers Ok). The window library shows real boxes; tests
// record them and answer without blocking.
class MessageBoxes {
public:
    enum class Buttons { Ok, OkCancel, TryAgainCancel };
    enum class Answer { Ok, Cancel };

    virtual ~MessageBoxes() = default;
    virtual Answer show(const QString &text, const QString &title, Buttons buttons = Buttons::Ok) = 0;
};
