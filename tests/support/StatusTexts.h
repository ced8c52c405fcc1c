#pragma once

#include <QString>

// Status texts of a run that the acquisition tests wait for.
inline const QString kBlocked =
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.";
inline const QString kClosed = "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.";
inline const QString kNoPort = "COM port not available";
