#include "Clicks.h"

#include <QAbstractButton>
#include <QTest>

void click(QWidget *widget) { QTest::mouseClick(widget, Qt::LeftButton); }

void clickIndicator(QAbstractButton *box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }
