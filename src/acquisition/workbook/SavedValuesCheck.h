#pragma once

#include "RunCheck.h"
#include "Workbook.h"

#include <QString>

// A workbook that is not byte for byte the one Halvern saved, against what
// the record kept of it at the save (SavedValues): every cell changed,
// added or removed since is named, and any of them is a change. Separately,
// the data cells of the values as saved against the journal rebuilt: what
// Halvern saved was what the journal holds.
class SavedValuesCheck {
public:
    static void check(RunCheck::Result &result, const QString &rawPath, const QString &valuesSha256,
                      const QList<Workbook::SheetValues> &now, const QList<Workbook::SheetValues> &rebuilt);
};
