// Shell shortcuts, self-registration and starting programs on the device. Shortcut and
// program results are 1/0 (the program starter: non-zero when the program was started); on 0
// the platform's last-error tells why. Self-registration answers an HRESULT.
#pragma once

#include <string>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

// Loads the library, calls its "DllRegisterServer" / "DllUnregisterServer" and unloads it
// again. The entry's own HRESULT is passed on unchanged; a library that does not load or
// lacks the entry gives HRESULT_FROM_WIN32 of the platform's error.
HRESULT RegisterServer(std::u16string_view library);
HRESULT UnregisterServer(std::u16string_view library);

// Writes a shortcut to `target` (quoted unless it starts with a quote) followed by one blank
// and `arguments` when there are any. An existing shortcut is replaced, ".lnk" is appended
// when the path does not end in it (any case), and a missing folder is created. `icon` is
// accepted and not used: a shortcut never carries an icon of its own.
int CreateShortcut(std::u16string_view shortcut, std::u16string_view target,
                   std::u16string_view arguments, std::u16string_view icon);

// Deletes the shortcut (".lnk" completed as above), read-only or not. 1 also when it was
// not there; 0 for any other failure, a missing folder included.
int DeleteShortcut(std::u16string_view shortcut);

// Starts `program` with the command line "\"program\" arguments" (the blank stays when the
// arguments are empty). With `wait` it returns once the program has ended, serving the
// caller's messages meanwhile. `exit_code`, when given, is set to 0 first and then to the
// program's exit code (STILL_ACTIVE for one still running). `reserved` is not used.
int RunProgram(std::u16string_view program, std::u16string_view arguments, bool wait,
               DWORD reserved, DWORD* exit_code);

}  // namespace stowkit
