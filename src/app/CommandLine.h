#pragma once

#include <optional>

// The program's command line, handled before any window exists:
//   --help, --version  Qt's usual texts
//   --list-ports       the COM numbers, their devices and adapters, where
//                      each mapping comes from and whether this user may
//                      open it
//   --list-runs        the runs kept in the journal folder, newest first
//   --replay RAWFILE --save-as FILE [--macro NAME]
//                      rebuilds a run's workbook from its journal
//   --verify FILE, --verify-runs
//                      checks a workbook, a run or all runs against their
//                      recorded hashes, and against the lab archive
//                      when one is set up (see VerifyCommand)
//   --archive-schema   the lab archive's SQL
//   --fetch-run NAME --to FOLDER
//                      a run from the lab archive, for --replay
// An unknown option gives Qt's usual error and exit status 1. Qt's own
// window options (-platform, -style, ...) are passed on to the window.
class CommandLine {
public:
    // The exit status when the program ends here, nothing when the main
    // window is to start. Without arguments nothing is looked at.
    static std::optional<int> run(int argc, char *argv[]);
};
