#include "QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MessageBoxes::Answer QtMessageBoxes::show(const QString &text, const QString &title, Buttons buttons)
{
    const bool cancel = buttons != Buttons::Ok;
    QMessageBox box(QMessageBox::NoIcon, title, text, cancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    QApplication::activeWindow());
    if (buttons == Buttons::TryAgainCancel)
        box.button(QMessageBox::Ok)->setText(QStringLiteral("&Try again"));
    // Paths and command lines in the text are there to be copied, whatever
    // the style's default.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(cancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}
