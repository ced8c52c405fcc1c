#pragma once

#include <QLocale>
#include <QString>

// The texts a run shows in the main window's status line.
namespace RunTexts {
inline const QString kNoDocumentsFolder =
    QStringLiteral("We do not remember the path to the master copy of our workbook.");
inline const QString kNoCopy =
    QStringLiteral("We cannot make a copy of the master workbook; it may have been deleted.");
inline const QString kNoSpreadsheet =
    QStringLiteral("We cannot start MS Excel; it may not be loaded on this computer.");
inline const QString kCannotOpenWorkbook = QStringLiteral("Excel cannot open workbook");
inline const QString kNoPort = QStringLiteral("COM port not available");
inline const QString kOpeningSpreadsheet = QStringLiteral("Opening MS Excel Spreadsheet");
inline const QString kOpeningPort = QStringLiteral("Opening COM port");
inline const QString kReady = QStringLiteral("Ready");
inline const QString kPaused = QStringLiteral("Paused");
inline const QString kNoPersonalMacros = QStringLiteral("Your personal macros were NOT loaded.");
inline const QString kMacroFailed = QStringLiteral("User macro did NOT run.");
inline const QString kMacroCancelled = QStringLiteral("User macro stopped: the workbook is saved without its work.");
inline const QString kBytesReceived = QStringLiteral("Bytes Received: ");
inline const QString kBlocked =
    QStringLiteral("MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.");
inline const QString kClosed =
    QStringLiteral("Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.");

// "Ready" before the first byte, then "Bytes Received: " and the count; grouped
// ("#,#") by the user's thousands separator after Resume. QLocale() is the
// user's locale unless the program sets another default (tests do).
inline QString bytesReceivedText(qint64 bytes, bool grouped)
{
    if (bytes == 0)
        return kReady;
    if (!grouped)
        return kBytesReceived + QString::number(bytes);
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return kBytesReceived + locale.toString(bytes);
}
} // namespace RunTexts
