/* Modules: the running program and the libraries it loads. */
#ifndef COREDLL_LOADER_H
#define COREDLL_LOADER_H

#include "coredll/wintypes.h"

typedef void* HMODULE;
typedef void* HINSTANCE;

COREDLL_BEGIN

/* With `module` null: the path of the running program. A program kept in the device's file
 * system gets its device path ("\Windows\stowkit.exe"); a host program (a host tool or a
 * test) gets its host path. Returns the length copied without the terminator, truncated to
 * size - 1 with ERROR_INSUFFICIENT_BUFFER when the buffer is short. */
COREDLL_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

COREDLL_END

#endif
