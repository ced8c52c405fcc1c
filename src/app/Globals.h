#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

class clsStrata;
class clsOrbis;
class SpreadsheetApp;
class Workbook;

// The program-wide state shared by the windows. One instance lives for the
// whole program; everything runs on the user-interface thread, so no locks.
struct Globals {
    // Emulator mailbox: while bEmulatorActive the main window reads no serial
    // input and takes sEmulatorOutput (whole, then empties it).
    bool bEmulatorActive = false;
    QByteArray sEmulatorOutput;
    // One-shot request: turn the next mailbox text into a two-field TAB line.
    bool bInjectTab = false;

    // Worksheet column of the current block of TAB-separated data.
    std::int16_t iBlockColumn = 1;

    // The automated spreadsheet application and the workbook being filled.
    std::shared_ptr<SpreadsheetApp> xlApp;
    std::shared_ptr<Workbook> xlBook;

    // The user macro run at Stop.
    bool bMacroEnable = false;
    QString sMacroName;

    // The two emulated instrument models, created and reset once at start-up.
    std::shared_ptr<clsStrata> objStrata;
    std::shared_ptr<clsOrbis> objOrbis;

    // Range-bar state of the emulator window.
    std::int16_t iMeasureScrollFocus = 1;
    std::int16_t iMeasureWindow = 0;
    std::int16_t iTempScrollFocus = 1;
    std::int16_t iTempWindow = 0;
};
