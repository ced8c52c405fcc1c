#include "QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

MessageBoxes::Answer QtMessageBoxes::show(const QString &text, const QString &title, Buttons buttons)
{
    QMessageBox box(QMessageBox::NoIcon, title, text,
                    buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    QApplication::activeWindow());
    // Paths and command lines in the text are there to be copied, whatever
    // the style's default.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons == Buttons::OkCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}
