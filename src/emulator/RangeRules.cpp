#include "RangeRules.h"

RangeRules::RangeRules(RangeBars &bars, std::int16_t &scrollFocus, std::int16_t &window, Setter setMinimum,
                       Setter setMaximum)
    : m_bars(bars),
      m_focus(scrollFocus),
      m_window(window),
      m_setMinimum(std::move(setMinimum)),
      m_setMaximum(std::move(setMaximum))
{
}

void RangeRules::onFocus(RangeBars::Bar bar) { m_focus = static_cast<std::int16_t>(bar); }

void RangeRules::onMasterChanged()
{
    const int value = m_bars.value(RangeBars::Master);
    m_bars.setLabel(RangeBars::Master, QString::number(value));
    // The master's label drives the minimum, which (focus 1) drives the maximum.
    m_bars.setValue(RangeBars::Minimum, value);
    m_bars.setChecked(false);
}

void RangeRules::onMinimumChanged()
{
    const int minimum = m_bars.value(RangeBars::Minimum);
    m_bars.setLabel(RangeBars::Minimum, QString::number(minimum));
    if (m_setMinimum)
        m_setMinimum(static_cast<std::int16_t>(minimum));

    switch (m_focus) {
    case RangeBars::Master:
        m_bars.setValue(RangeBars::Maximum, minimum);
        break;
    case RangeBars::Minimum:
        if (m_bars.isChecked()) {
            const int target = minimum + m_window;
            const int limit = m_bars.upperLimit(RangeBars::Maximum);
            m_bars.setValue(RangeBars::Maximum, target > limit ? limit : target);
        } else if (minimum > m_bars.value(RangeBars::Maximum)) {
            m_bars.setValue(RangeBars::Maximum, minimum);
        }
        break;
    default:
        break;
    }
}

void RangeRules::onMaximumChanged()
{
    const int maximum = m_bars.value(RangeBars::Maximum);
    m_bars.setLabel(RangeBars::Maximum, QString::number(maximum));
    if (m_setMaximum)
        m_setMaximum(static_cast<std::int16_t>(maximum));

    if (m_focus != RangeBars::Maximum)
        return;
    if (m_bars.isChecked()) {
        const int target = maximum - m_window;
        const int limit = m_bars.lowerLimit(RangeBars::Minimum);
        m_bars.setValue(RangeBars::Minimum, target < limit ? limit : target);
    } else if (maximum < m_bars.value(RangeBars::Minimum)) {
        m_bars.setValue(RangeBars::Minimum, maximum);
    }
}

void RangeRules::onBoxClicked()
{
    m_bars.setMasterEnabled(!m_bars.isChecked());
    // The window is taken only here, so a far end stopped at a limit does not
    // shrink it and moving back restores the full width.
    m_window = static_cast<std::int16_t>(m_bars.value(RangeBars::Maximum) - m_bars.value(RangeBars::Minimum));
}
