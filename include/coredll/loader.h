/* Modules: the running program and the libraries it loads. A library in the device's file
 * system is a host shared object, loaded with its file held in use; "coredll.dll",
 * "toolhelp.dll" and "aygshell.dll" are built in, present or absent as the device profile
 * says. */
#ifndef COREDLL_LOADER_H
#define COREDLL_LOADER_H

#include "coredll/wintypes.h"

typedef void* HMODULE;
typedef void* HINSTANCE;
typedef void (*FARPROC)(void);

#define MAKEINTRESOURCEW(i) ((LPWSTR)(uintptr_t)(WORD)(i))

COREDLL_BEGIN

/* A device path, or a bare name looked for in \Windows, then in \. Loading a library again
 * counts one more reference. ERROR_MOD_NOT_FOUND when there is no such file or built-in
 * library; ERROR_BAD_EXE_FORMAT when the file is not a library this device can load. */
COREDLL_API HMODULE LoadLibraryW(LPCWSTR name);
COREDLL_API BOOL FreeLibrary(HMODULE module);
/* By name, or by ordinal through MAKEINTRESOURCEW. ERROR_PROC_NOT_FOUND when missing. */
COREDLL_API FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
/* A module this process has loaded, by name or path; null name: the program itself. */
COREDLL_API HMODULE GetModuleHandleW(LPCWSTR name);

/* With `module` null: the path of the running program. A program kept in the device's file
 * system gets its device path ("\Windows\stowkit.exe"); a host program (a host tool or a
 * test) gets its host path. A loaded library gives its device path; the built-in ones
 * "\Windows\<name>". Returns the length copied without the terminator, truncated to
 * size - 1 with ERROR_INSUFFICIENT_BUFFER when the buffer is short. */
COREDLL_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

COREDLL_END

#endif
