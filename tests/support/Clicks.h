#pragma once

class QAbstractButton;
class QWidget;

// A user's left click in the middle of a widget (a button, a picture).
void click(QWidget *widget);

// A user's left click on the indicator of a check box or option button.
void clickIndicator(QAbstractButton *box);
