#include "ScrollRangeBars.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>

ScrollRangeBars::ScrollRangeBars(QScrollBar *master, QScrollBar *minimum, QScrollBar *maximum, QLabel *masterLabel,
                                 QLabel *minimumLabel, QLabel *maximumLabel, QCheckBox *box)
    : m_bars{master, minimum, maximum}, m_labels{masterLabel, minimumLabel, maximumLabel}, m_box(box)
{
}

QScrollBar *ScrollRangeBars::scrollBar(Bar bar) const { return m_bars[bar - 1]; }

int ScrollRangeBars::value(Bar bar) const { return scrollBar(bar)->value(); }

void ScrollRangeBars::setValue(Bar bar, int value) { scrollBar(bar)->setValue(value); }

int ScrollRangeBars::lowerLimit(Bar bar) const { return scrollBar(bar)->minimum(); }

int ScrollRangeBars::upperLimit(Bar bar) const { return scrollBar(bar)->maximum(); }

void ScrollRangeBars::setLabel(Bar bar, const QString &text) { m_labels[bar - 1]->setText(text); }

bool ScrollRangeBars::isChecked() const { return m_box->isChecked(); }

void ScrollRangeBars::setChecked(bool checked) { m_box->setChecked(checked); }

void ScrollRangeBars::setMasterEnabled(bool enabled) { m_bars[0]->setEnabled(enabled); }
