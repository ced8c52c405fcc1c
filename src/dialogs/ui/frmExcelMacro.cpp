#include "frmExcelMacro.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour); // every colour group, disabled included
    widget->setPalette(palette);
}

} // namespace

frmExcelMacro::frmExcelMacro(QWidget *parent) : ModalForm(parent)
{
    setObjectName(QStringLiteral("frmExcelMacro"));
    setWindowTitle(QStringLiteral("Excel Configuration"));

    fraExcelMacro = new QGroupBox(this);
    fraExcelMacro->setObjectName(QStringLiteral("fraExcelMacro"));
    chkExcelMacro = new QCheckBox(QStringLiteral("&Run Excel Macro:"), fraExcelMacro);
    chkExcelMacro->setObjectName(QStringLiteral("chkExcelMacro"));
    txtExcelMacro = new QLineEdit(fraExcelMacro);
    txtExcelMacro->setObjectName(QStringLiteral("txtExcelMacro"));
    txtExcelMacro->setMinimumWidth(220);
    // Design look: the system's 3D face colour.
    setBackground(txtExcelMacro, txtExcelMacro->palette().color(QPalette::Button));
    auto *frameLayout = new QHBoxLayout(fraExcelMacro);
    frameLayout->addWidget(chkExcelMacro);
    frameLayout->addWidget(txtExcelMacro, 1);
    connect(chkExcelMacro, &QCheckBox::toggled, this, &frmExcelMacro::chkExcelMacro_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraExcelMacro);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool frmExcelMacro::MacroEnable() const { return chkExcelMacro->isChecked(); }

void frmExcelMacro::setMacroEnable(bool enable) { chkExcelMacro->setChecked(enable); }

QString frmExcelMacro::MacroName() const { return txtExcelMacro->text(); }

void frmExcelMacro::setMacroName(const QString &name) { txtExcelMacro->setText(name); }

bool frmExcelMacro::ShowForm()
{
    setCancelled(false);
    chkExcelMacro_Click();
    showModal();
    return !cancelled();
}

void frmExcelMacro::chkExcelMacro_Click()
{
    if (chkExcelMacro->isChecked()) {
        setBackground(txtExcelMacro, QColor(0xFF, 0xFF, 0xFF));
        txtExcelMacro->setEnabled(true);
    } else {
        setBackground(txtExcelMacro, fraExcelMacro->palette().color(fraExcelMacro->backgroundRole()));
        txtExcelMacro->setEnabled(false);
    }
}
