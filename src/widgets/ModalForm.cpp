#include "ModalForm.h"

#include <QCloseEvent>
#include <QPushButton>

ModalForm::ModalForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, &ModalForm::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &ModalForm::cmdCancel_Click);
}

void ModalForm::cmdOK_Click() { hide(); }

void ModalForm::cmdCancel_Click()
{
    setCancelled(true);
    hide();
}

void ModalForm::Form_QueryUnload(bool &Cancel, int UnloadMode)
{
    if (UnloadMode == unloadCloseBox) {
        Cancel = true;
        cmdCancel_Click();
    }
}

void ModalForm::showModal()
{
    // Hiding the form ends exec(); its result code is not used.
    exec();
}

void ModalForm::closeEvent(QCloseEvent *event)
{
    bool cancel = false;
    Form_QueryUnload(cancel, event->spontaneous() ? unloadCloseBox : unloadByCode);
    if (cancel) {
        event->ignore();
        return;
    }
    // Closed by the program while showing: nothing was confirmed.
    if (isVisible())
        setCancelled(true);
    event->accept();
}

void ModalForm::reject() { cmdCancel_Click(); }
