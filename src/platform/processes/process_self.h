// This process as the device knows it: its command line and, for a device process, its
// record in the process table, kept up to date as it loads and frees libraries.
#pragma once

#include <string>

#include "platform/processes/process_table.h"

namespace coredll {

const std::u16string& CommandLine();

// True for a process started by CreateProcessW or run from the device's file system.
bool IsDeviceProcess();
ProcessIdentity SelfIdentity();

void AddSelfModule(const std::u16string& device_path);
void RemoveSelfModule(const std::u16string& device_path);
// Replaces the top-level windows listed in this process's record.
void SetSelfWindows(std::vector<WindowRecord> windows);

// The host path of the running program.
std::string HostProgramPath();

// The platform's name for a host path: its device path when it lies in the device's file
// system, the host path itself otherwise.
std::u16string PlatformPathOf(const std::string& host);

}  // namespace coredll
