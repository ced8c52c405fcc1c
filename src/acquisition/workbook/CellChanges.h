#pragma once

#include "Workbook.h"

#include <QStringList>
#include <cstdint>

// Every cell of a workbook against the values it held when Halvern saved it
// (see SavedValues), sheet by sheet in order: each cell changed, added or
// removed since the save is named.
class CellChanges {
public:
    // At most this many cells are named; the rest are counted.
    static constexpr int kMaxNamed = 50;

    struct Outcome {
        QStringList named; // "B12: 1517 when saved, 1571 now", "B40: added, 12.5", "C3: removed, was \"x\""
        std::int64_t count = 0;
        QStringList sheets; // "sheet \"Notes\" added since the save"
    };

    static Outcome compare(const QList<Workbook::SheetValues> &saved, const QList<Workbook::SheetValues> &now);
};
