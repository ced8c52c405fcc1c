#include "frmComPort.h"

#include "CaughtException.h"
#include "LogCategories.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

frmComPort::frmComPort(PortsNow portsNow, QWidget *parent) : ModalForm(parent), m_portsNow(std::move(portsNow))
{
    setObjectName(QStringLiteral("frmComPort"));
    setWindowTitle(QStringLiteral("COM Port Selection"));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frameLayout = new QVBoxLayout(Frame1);
    // Top to bottom: COM 1 to COM 4, then Other with the list under it.
    for (int port = 1; port <= PortChoice::lastOptionPort; ++port)
        optComPort[port] = new QRadioButton(QStringLiteral("COM &%1").arg(port), Frame1);
    optComPort[PortChoice::otherOption] = new QRadioButton(QStringLiteral("&Other"), Frame1);
    for (int port = 1; port <= PortChoice::lastOptionPort; ++port)
        frameLayout->addWidget(optComPort[port]);
    frameLayout->addWidget(optComPort[PortChoice::otherOption]);
    for (int index = 0; index < int(optComPort.size()); ++index) {
        optComPort[index]->setObjectName(QStringLiteral("optComPort_%1").arg(index));
        connect(optComPort[index], &QRadioButton::toggled, this, [this, index](bool checked) {
            if (checked)
                optComPort_Click(index);
        });
    }

    cboComPort = new QComboBox(Frame1);
    cboComPort->setObjectName(QStringLiteral("cboComPort"));
    cboComPort->setEditable(false);
    for (int position = 0; position < PortChoice::listCount; ++position)
        cboComPort->addItem(PortChoice::listEntry(position));
    frameLayout->addWidget(cboComPort);
    connect(cboComPort, &QComboBox::currentIndexChanged, this, &frmComPort::showOtherTooltip);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addStretch();

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Unload();
}

std::int16_t frmComPort::GetPort(std::uint8_t port)
{
    setCancelled(false);
    refreshTooltips();
    applyPreset(PortChoice::forPort(port));

    showModal();

    std::int16_t result = port;
    if (!cancelled()) {
        if (const auto chosen = currentChoice().port())
            result = *chosen;
    }
    Unload();
    return result;
}

QRadioButton *frmComPort::WhichOptionButton(QWidget *container)
{
    if (!container)
        return nullptr;
    QWidget *form = container->isWindow() ? container : container->window();
    const auto controls = form->findChildren<QRadioButton *>();
    for (QRadioButton *button : controls) {
        if (button->parentWidget() == container && button->isChecked())
            return button;
    }
    return nullptr;
}

void frmComPort::optComPort_Click(int Index)
{
    // The list keeps its position while disabled.
    cboComPort->setEnabled(Index == PortChoice::otherOption);
}

PortChoice frmComPort::currentChoice() const
{
    PortChoice choice;
    if (QRadioButton *set = WhichOptionButton(Frame1)) {
        for (int index = 0; index < int(optComPort.size()); ++index) {
            if (optComPort[index] == set)
                choice.option = index;
        }
    }
    choice.listPosition = cboComPort->currentIndex();
    return choice;
}

void frmComPort::applyPreset(const PortChoice &preset)
{
    if (preset.option == PortChoice::noOption)
        return;
    cboComPort->setCurrentIndex(preset.listPosition);
    // Raises optComPort_Click, which brings the list into line.
    optComPort[preset.option]->setChecked(true);
}

void frmComPort::Unload()
{
    hide();
    // A checked auto-exclusive button refuses to be unchecked on its own.
    for (QRadioButton *button : optComPort) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    cboComPort->setCurrentIndex(PortChoice::noListPosition);
    cboComPort->setEnabled(false);
    setCancelled(false);
}

void frmComPort::refreshTooltips()
{
    QList<PortListing::Entry> ports;
    if (m_portsNow) {
        try {
            ports = m_portsNow();
        } catch (...) {
            qCWarning(lcSerial).noquote() << "The ports were not listed:" << CaughtException::reason();
            // Without the list the numbers simply show no tooltips.
            ports.clear();
        }
    }
    auto tipOf = [&ports](int port) {
        for (const PortListing::Entry &entry : std::as_const(ports)) {
            if (entry.port == port)
                return PortChoice::toolTip(entry);
        }
        return QString();
    };
    for (int port = 1; port <= PortChoice::lastOptionPort; ++port)
        optComPort[port]->setToolTip(tipOf(port));
    for (int position = 0; position < PortChoice::listCount; ++position)
        cboComPort->setItemData(position, tipOf(PortChoice::portAtListPosition(position)), Qt::ToolTipRole);
    showOtherTooltip();
}

void frmComPort::showOtherTooltip()
{
    // "Other" and the closed list stand for the list's current entry.
    const int position = cboComPort->currentIndex();
    const QString tip = position < 0 ? QString() : cboComPort->itemData(position, Qt::ToolTipRole).toString();
    optComPort[PortChoice::otherOption]->setToolTip(tip);
    cboComPort->setToolTip(tip);
}
