#pragma once

#include "DataCellComparison.h"
#include "RunCheck.h"

// The lines of a check that tell what a comparison of data cells found.
class CellComparisonReport {
public:
    static void add(const DataCellComparison::Outcome &cells, RunCheck::Result &result);
};
