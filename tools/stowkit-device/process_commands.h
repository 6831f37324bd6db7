// Device programs from the host: placing them into a device, running one, listing processes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "coredll/windows.h"

namespace stowkit::device_tool {

// The folder this tool runs from: the build's programs lie beside it, its libraries in
// ../lib.
std::filesystem::path ToolFolder();

// Copies the device programs built beside this tool into \Windows (stowkit, wceload and
// unload, as far as they are built), replacing older copies.
int PlacePrograms();

// Starts PROGRAM in the device with ARGUMENTS joined into its command line, the terminal
// passed through, and waits. Returns the exit code modulo 256; a non-zero code is also
// printed as "exit code: N" on standard error.
// The device programs started from now on save pictures of the screen into `folder`,
// which is made when missing; false, with its line on standard error, when it cannot be.
bool WantScreenshots(const std::string& folder);

int Run(const std::string& program, const std::vector<std::string>& arguments);

// Starts PROGRAM as Run does and waits for it: true with its whole 32-bit exit code, false
// with the reason printed when it could not be started. A program still running after
// `timeout_ms` is ended, with every device program it started, and `timed_out` set.
bool RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                uint32_t& code, DWORD timeout_ms = INFINITE, bool* timed_out = nullptr);
// The exit status Run gives for a program's exit code, printing a non-zero code.
int ExitStatus(uint32_t code);

int ListProcesses();

}  // namespace stowkit::device_tool
