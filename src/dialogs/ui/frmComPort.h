#pragma once

#include "ModalForm.h"
#include "PortChoice.h"
#include "PortListing.h"
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
// device its COM number stands for as a tooltip, with the adapter's
// description and serial number, and whether a device is present.
class frmComPort : public ModalForm, public PortPicker {
    Q_OBJECT
public:
    // portsNow: the COM numbers as they stand now (PortListing::entries),
    // asked afresh each time the dialog opens; empty for no tooltips.
    using PortsNow = std::function<QList<PortListing::Entry>()>;
    explicit frmComPort(PortsNow portsNow = {}, QWidget *parent = nullptr);

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

    PortsNow m_portsNow;
};
