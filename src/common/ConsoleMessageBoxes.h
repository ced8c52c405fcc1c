#pragma once

#include "MessageBoxes.h"

#include <QString>

// For programs without windows (the loader simulator, benchmarks): each box
// is one line on standard error, "<prefix>: <title> | <text>", answered OK.
class ConsoleMessageBoxes : public MessageBoxes {
public:
    explicit ConsoleMessageBoxes(QString prefix) : m_prefix(std::move(prefix)) {}
    Answer show(const QString &text, const QString &title, Buttons buttons = Buttons::Ok) override;

private:
    QString m_prefix;
};
