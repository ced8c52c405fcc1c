#pragma once

#include "MacroEditor.h"
#include "ModalForm.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;

// "Excel Configuration": whether the user's macro runs at Stop, and its name.
// Created once and afterwards only hidden; the caller presets it through
// MacroEnable and MacroName before each ShowForm.
class frmExcelMacro : public ModalForm, public MacroEditor {
    Q_OBJECT
public:
    explicit frmExcelMacro(QWidget *parent = nullptr);

    // True while the check box is checked. Setting it runs chkExcelMacro_Click
    // when the box changes.
    bool MacroEnable() const override;
    void setMacroEnable(bool enable) override;
    QString MacroName() const override;
    void setMacroName(const QString &name) override;

    // Shows the dialog modally; True when closed with OK.
    bool ShowForm() override;

    // Checked: the name box is enabled on white. Unchecked: disabled on the
    // frame's background. The name is kept either way.
    void chkExcelMacro_Click();

    QGroupBox *fraExcelMacro = nullptr;
    QCheckBox *chkExcelMacro = nullptr;
    QLineEdit *txtExcelMacro = nullptr;
};
