#pragma once

#include "RangeBars.h"

#include <cstdint>
#include <functional>

// The rules tying one range set together (measurement or temperature):
//  - moving the master puts minimum and maximum on its value and unticks the box;
//  - moving the minimum above the maximum pushes the maximum, and the other way;
//  - with the box ticked the two move together at the width they had when it
//    was ticked, the far end stopping at the bar's limit.
// The focus and window variables are program-wide and passed by reference.
class RangeRules {
public:
    using Setter = std::function<void(std::int16_t)>;

    RangeRules(RangeBars &bars, std::int16_t &scrollFocus, std::int16_t &window, Setter setMinimum, Setter setMaximum);

    // A bar received the input focus.
    void onFocus(RangeBars::Bar bar);
    // A bar's value changed (settled or while its thumb is dragged).
    void onMasterChanged();
    void onMinimumChanged();
    void onMaximumChanged();
    // The "Maintain Min/Max Window" box changed state.
    void onBoxClicked();

private:
    RangeBars &m_bars;
    std::int16_t &m_focus;
    std::int16_t &m_window;
    Setter m_setMinimum;
    Setter m_setMaximum;
};
