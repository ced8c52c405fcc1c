#include "LogCategories.h"

Q_LOGGING_CATEGORY(lcSerial, "halvern.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOffice, "halvern.office", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRun, "halvern.run", QtInfoMsg)
Q_LOGGING_CATEGORY(lcJournal, "halvern.journal", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWorkbook, "halvern.workbook", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFirmware, "halvern.firmware", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEmulator, "halvern.emulator", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "halvern.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcArchive, "halvern.archive", QtInfoMsg)
