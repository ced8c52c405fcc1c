#pragma once

#include <QString>

// The controls of one range set on the emulator panel: master, minimum and
// maximum bars with their value labels, and the "Maintain Min/Max Window" box.
// setValue and setChecked behave like the real controls: when the value
// really changes, the control's change handling (RangeRules) runs at once,
// nested inside the call; setting the same value runs nothing.
class RangeBars {
public:
    enum Bar { Master = 1, Minimum = 2, Maximum = 3 };

    virtual ~RangeBars() = default;
    virtual int value(Bar bar) const = 0;
    virtual void setValue(Bar bar, int value) = 0;
    virtual int lowerLimit(Bar bar) const = 0;
    virtual int upperLimit(Bar bar) const = 0;
    virtual void setLabel(Bar bar, const QString &text) = 0;
    virtual bool isChecked() const = 0;
    virtual void setChecked(bool checked) = 0;
    virtual void setMasterEnabled(bool enabled) = 0;
};
