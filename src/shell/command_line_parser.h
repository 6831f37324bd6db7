// Turns the installer's command line into the process's InstallJob.
//
//   /i | /x | /u [s] [package]   mode 1, 3 or 4; a third letter "s" makes the run silent;
//                                without a package token the program's own file is the package
//   /v <path>                    log file, opened at once
//   /l <code>                    language: FR, IT, DE, ES, JA (else English); without it the
//                                device's locale decides
//   /h 0x<hex>                   owner window of the progress dialog
//   /D<name> <value>             a macro for this run (letter d or D)
//   /p <pid>                     as the first argument: wait for that process, then restart
//
// Switches begin with "/" or "-" and, but for /D, ignore case. Each switch is looked for
// among all tokens, values of other switches included, so the first short switch must be the
// mode switch.
#pragma once

#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

// Parses `command_line`, the full process command line (the entry point passes
// GetCommandLineW()), whose first token, the program's path, is skipped. First logs the
// header (a rule, the UTC date and time, the command line) through the status reporter,
// then creates the job if there is none and fills it. A wait-and-restart line sets only the
// wait process id and leaves the UI language alone; every other line ends by setting the UI
// language from the job. Returns 0, or 0x80070057 with "Invalid command line: %s" reported
// as Detail when there is no valid mode switch; the job then keeps what was set so far.
HRESULT ParseCommandLine(std::u16string_view command_line);

}  // namespace stowkit
