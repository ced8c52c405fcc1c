#pragma once

#include <QLoggingCategory>

// Halvern's log, by room. Information, warnings and errors are written;
// debug output is turned on with QT_LOGGING_RULES (for example
// "halvern.run.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcSerial)   // halvern.serial: ports, adapters, replug
Q_DECLARE_LOGGING_CATEGORY(lcOffice)   // halvern.office: the office process and its calls
Q_DECLARE_LOGGING_CATEGORY(lcRun)      // halvern.run: a live run from Start to Stop
Q_DECLARE_LOGGING_CATEGORY(lcJournal)  // halvern.journal: the journal, summaries, kept runs
Q_DECLARE_LOGGING_CATEGORY(lcWorkbook) // halvern.workbook: working copy, macro, save, rebuild
Q_DECLARE_LOGGING_CATEGORY(lcFirmware) // halvern.firmware: the loader transfer and its log
Q_DECLARE_LOGGING_CATEGORY(lcEmulator) // halvern.emulator
Q_DECLARE_LOGGING_CATEGORY(lcApp)      // halvern.app: start-up, the main window, commands
Q_DECLARE_LOGGING_CATEGORY(lcArchive)  // halvern.archive: the lab archive, its connection and what is sent
