#pragma once

#include "SpreadsheetApp.h"

#include <memory>

// Creates a new application instance ("create Application"); throws
// SpreadsheetError when the application is not installed or does not start.
class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    virtual std::shared_ptr<SpreadsheetApp> create() = 0;
    // An instance without a window, for rebuilding a workbook nobody needs
    // to watch; the same as create() where the application has no such mode.
    virtual std::shared_ptr<SpreadsheetApp> createHeadless() { return create(); }
};
