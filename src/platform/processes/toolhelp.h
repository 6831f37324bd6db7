// The entry points of the built-in "toolhelp.dll": snapshots of the device's process table.
#pragma once

#include "coredll/toolhelp.h"

namespace coredll::toolhelp {

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD process_id);
BOOL CloseToolhelp32Snapshot(HANDLE snapshot);
BOOL Process32First(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL Module32First(HANDLE snapshot, MODULEENTRY32W* entry);
BOOL Module32Next(HANDLE snapshot, MODULEENTRY32W* entry);

}  // namespace coredll::toolhelp
