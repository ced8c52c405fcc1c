#pragma once

#include "RangeBars.h"

class QCheckBox;
class QLabel;
class QScrollBar;

// One range set on real controls. Setting a bar or the box from here lets Qt
// emit valueChanged / toggled at once, only when the value really changes,
// and the window routes those signals to RangeRules: the nesting the rules
// rely on.
class ScrollRangeBars : public RangeBars {
public:
    ScrollRangeBars(QScrollBar *master, QScrollBar *minimum, QScrollBar *maximum, QLabel *masterLabel,
                    QLabel *minimumLabel, QLabel *maximumLabel, QCheckBox *box);

    int value(Bar bar) const override;
    void setValue(Bar bar, int value) override;
    int lowerLimit(Bar bar) const override;
    int upperLimit(Bar bar) const override;
    void setLabel(Bar bar, const QString &text) override;
    bool isChecked() const override;
    void setChecked(bool checked) override;
    void setMasterEnabled(bool enabled) override;

private:
    QScrollBar *scrollBar(Bar bar) const;

    QScrollBar *m_bars[3];
    QLabel *m_labels[3];
    QCheckBox *m_box;
};
