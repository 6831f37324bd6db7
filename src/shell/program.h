// The installer program: from the process's command line to its exit code.
#pragma once

#include <cstdint>
#include <string_view>

namespace stowkit {

// A normal run (silent, or under the progress dialog) returns the engine's completion
// status; an invalid command line 0x80070057 (logged in memory only, no log file); a
// wait-and-restart run (/p) 0 after the restart request.
uint32_t RunInstallerProgram(std::u16string_view command_line);

}  // namespace stowkit
