// What depends on the device the installer runs on: the kind of platform, the system
// folder, readable error texts and the restart. Libraries a device may lack ("aygshell.dll")
// and entries it may lack are looked up at run time, so their absence is an ordinary answer.
#pragma once

#include <cstdint>
#include <string>

#include "coredll/windows.h"

namespace stowkit {

inline constexpr uint32_t kPlatformUnknown = 0;
inline constexpr uint32_t kPlatformDesktop = 1;
inline constexpr uint32_t kPlatformPocketPC = 2;    // type text "PocketPC" or "Palm PC2"
inline constexpr uint32_t kPlatformSmartphone = 3;  // type text "Smartphone"
inline constexpr uint32_t kPlatformOtherCE = 4;     // any other type text

// From the system's platform id and, on Windows CE, its platform type text (any case).
uint32_t GetPlatformType();

// 1 and the folder that holds "coredll.dll" ("\Windows", no trailing '\'); 0 when that
// library cannot be loaded.
int GetSystemFolder(std::u16string& folder);

// The system's one-line text for an error number or HRESULT (an HRESULT of the Win32
// facility is asked for as its error number), else "Error (0x%x)" with the number asked for.
// A system text is kept exactly as given, so it ends in the blank that replaced its line
// break; messages that embed it ("...: %s") end in that blank too.
std::u16string ErrorText(uint32_t code);

// Asks for a restart: the shell's ExitWindowsEx where the device has it, else the power
// manager's reset. Non-zero when the request was taken; 0 when the device offers neither.
int RestartDevice();

}  // namespace stowkit
