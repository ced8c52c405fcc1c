#pragma once

#include "Clicks.h"

#include <QApplication>
#include <QCloseEvent>
#include <QObject>
#include <QTimer>
#include <QtTest/QTest>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <functional>

// Calls `show`, which opens a modal dialog and waits until it is hidden, and
// acts on the dialog from the event loop once it is up. A dialog still up
// after five seconds is hidden, so a faulty test fails instead of hanging.
template <class Dialog, class Show>
auto driveModal(Show show, const std::function<void(Dialog &)> &act)
{
    QObject context; // cancels both timers when the call is over
    bool acted = false;
    bool timedOut = false;
    QTimer::singleShot(0, &context, [&] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            acted = true;
            act(*dialog);
        }
    });
    QTimer::singleShot(5000, &context, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            timedOut = true;
            dialog->hide();
        }
    });
    auto result = show();
    EXPECT_TRUE(acted) << "the dialog did not come up modally";
    EXPECT_FALSE(timedOut) << "the dialog stayed open";
    return result;
}

// The ways a user leaves a dialog without OK.
enum class Leave { CancelButton, EscapeKey, CloseBox };

inline const char *leaveName(Leave how)
{
    switch (how) {
    case Leave::CancelButton:
        return "Cancel button";
    case Leave::EscapeKey:
        return "Esc";
    case Leave::CloseBox:
        return "close box";
    }
    return "";
}

// The widget a key press reaches first: the dialog's focus widget.
inline QWidget *keyTarget(QWidget &dialog)
{
    QWidget *focus = dialog.focusWidget();
    return focus ? focus : &dialog;
}

template <class Dialog>
void leaveWithoutOk(Dialog &dialog, Leave how)
{
    switch (how) {
    case Leave::CancelButton:
        click(dialog.cmdCancel);
        break;
    case Leave::EscapeKey:
        QTest::keyClick(keyTarget(dialog), Qt::Key_Escape);
        break;
    case Leave::CloseBox: {
        // The window system delivers the close box as a spontaneous close.
        // sendEvent() would clear that mark, so hand it over as QTest does
        // with its key events.
        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        qApp->notify(&dialog, &close);
        EXPECT_FALSE(close.isAccepted()) << "the close box must be refused";
        break;
    }
    }
}

inline void pressEnter(QWidget &dialog) { QTest::keyClick(keyTarget(dialog), Qt::Key_Return); }
