// The program's message boxes, as a user meets them on screen.
#include "ModalDriver.h"
#include "QtMessageBoxes.h"

#include <QLabel>
#include <QMessageBox>
#include <gtest/gtest.h>

TEST(QtMessageBoxes, TheTextCanBeSelectedAndTheButtonsAnswer)
{
    QtMessageBoxes boxes;
    const QString command = "halvern --replay \"/runs/a.raw\" --save-as \"/runs/a.xlsx\"";
    QString shown;
    const auto ok = driveModal<QMessageBox>([&] { return boxes.show(command, "Halvern"); },
                                            [&](QMessageBox &box) {
                                                // A command line or a path in a box is there to be copied.
                                                EXPECT_TRUE(box.textInteractionFlags() & Qt::TextSelectableByMouse);
                                                shown = box.findChild<QLabel *>("qt_msgbox_label")->text();
                                                pressEnter(box);
                                            });
    EXPECT_EQ(ok, MessageBoxes::Answer::Ok);
    EXPECT_EQ(shown, command);

    const auto cancel =
        driveModal<QMessageBox>([&] { return boxes.show("Rebuild?", "Halvern", MessageBoxes::Buttons::OkCancel); },
                                [](QMessageBox &box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_EQ(cancel, MessageBoxes::Answer::Cancel);
}
