#pragma once

#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"

#include <functional>
#include <memory>

// Passes create() on to a Calc factory and keeps the last application it
// made, so a test can reach the office process (to stop or kill it, or to see
// that it has ended). Header only: tests using it link halvern_calc.
class KeepingCalcFactory : public SpreadsheetFactory {
public:
    explicit KeepingCalcFactory(SpreadsheetFactory &inner) : m_inner(inner) {}
    std::shared_ptr<SpreadsheetApp> create() override
    {
        ++creates;
        auto app = m_inner.create();
        last = std::dynamic_pointer_cast<CalcSpreadsheetApp>(app);
        return app;
    }
    std::shared_ptr<SpreadsheetApp> createHeadless() override
    {
        ++creates;
        auto app = m_inner.createHeadless();
        last = std::dynamic_pointer_cast<CalcSpreadsheetApp>(app);
        if (onHeadless && last)
            onHeadless(*last);
        return app;
    }
    std::shared_ptr<CalcSpreadsheetApp> last;
    int creates = 0;
    // Called with each headless office made (the rebuild's), e.g. to end it.
    std::function<void(CalcSpreadsheetApp &)> onHeadless;

private:
    SpreadsheetFactory &m_inner;
};
