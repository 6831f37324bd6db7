// A module's exported symbols, for the platform's own lookups (a module's icon table): the
// answer of GetProcAddressW without touching the caller's last-error.
#pragma once

#include "coredll/windows.h"

namespace coredll {

// The symbol `name` (UTF-8; null to look up `ordinal`, which only built-in modules have) of
// a built-in or loaded module in `found`, null when it has none; ERROR_INVALID_HANDLE when
// `module` is neither.
DWORD FindModuleSymbol(HMODULE module, const char* name, WORD ordinal, FARPROC& found);

}  // namespace coredll
