#pragma once

#include "SpreadsheetApp.h"

#include <memory>

// Creates a new application instance ("create Application"); throws
// SpreadsheetError when the application is not installed or does not start.
class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    virtual std::shared_ptr<SpreadsheetApp> create() = 0;
};
