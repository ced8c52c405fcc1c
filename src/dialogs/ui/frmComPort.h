#pragma once

#include "ModalForm.h"
#include "PortChoice.h"
#include "PortPicker.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class QComboBox;
class QGroupBox;
class QRadioButton;

// "COM Port Selection": COM 1 to COM 4 as option buttons, "Other" with a
// pick-only list of COM 5 to COM 16. Each option and list entry shows the
// device its COM number stands for as a tooltip.
class frmComPort : public ModalForm, public PortPicker {
    Q_OBJECT
public:
    // devicePathOf: the device path of a COM number (1 to 16), asked afresh
    // each time the dialog opens; empty for no tooltips.
    explicit frmComPort(std::function<QString(int)> devicePathOf = {}, QWidget *parent = nullptr);

    // Shows the dialog modally, preset to `port`, and returns the chosen port
    // or `port` itself when cancelled. OK without a valid choice (possible
    // when `port` is outside 1 to 16) counts as Cancel. Every call starts
    // from the design state: no option set, list blank and disabled.
    std::int16_t GetPort(std::uint8_t port) override;

    // The checked option button placed directly in `container`, or nullptr.
    // The buttons are looked for among all controls of the form holding
    // `container` (container itself when it is a window), in the form's order.
    static QRadioButton *WhichOptionButton(QWidget *container);

    void optComPort_Click(int Index);

    QGroupBox *Frame1 = nullptr;
    // Index 1 to 4: the port of that number; index 0: "Other".
    std::array<QRadioButton *, 5> optComPort{};
    QComboBox *cboComPort = nullptr;

private:
    PortChoice currentChoice() const;
    void applyPreset(const PortChoice &preset);
    // Back to the design state, as a freshly loaded form.
    void Unload();
    void refreshTooltips();
    void showOtherTooltip();
    QString devicePath(int port) const;

    std::function<QString(int)> m_devicePathOf;
};
