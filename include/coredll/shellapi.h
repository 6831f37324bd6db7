/* Shell and system: special folders, shortcuts, version, platform type, power, COM. */
#ifndef COREDLL_SHELLAPI_H
#define COREDLL_SHELLAPI_H

#include "coredll/wintypes.h"

#define CSIDL_DESKTOP 0x00
#define CSIDL_PROGRAMS 0x02
#define CSIDL_PERSONAL 0x05
#define CSIDL_FAVORITES 0x06
#define CSIDL_STARTUP 0x07
#define CSIDL_STARTMENU 0x0B
#define CSIDL_FONTS 0x14
#define CSIDL_APPDATA 0x1A
#define CSIDL_WINDOWS 0x24
#define CSIDL_PROGRAM_FILES 0x26

#define VER_PLATFORM_WIN32_CE 3
#define SPI_GETPLATFORMTYPE 257
#define SPI_GETOEMINFO 258

#define POWER_STATE_ON 0x00010000u
#define POWER_STATE_OFF 0x00020000u
#define POWER_STATE_RESET 0x00800000u
#define POWER_FORCE 0x00001000u

#define EWX_REBOOT 2
#define EWX_FORCE 4

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *LPOSVERSIONINFOW;

/* The ExitWindowsEx entry of "aygshell.dll", reached through GetProcAddressW. */
typedef BOOL (*PFN_ExitWindowsEx)(UINT flags, DWORD reserved);
typedef DWORD (*PFN_SetSystemPowerState)(LPCWSTR state, DWORD flags, DWORD options);

COREDLL_BEGIN

/* The profile's folder for `folder` (no trailing '\'); with `create`, made when missing.
 * FALSE with ERROR_INVALID_PARAMETER for an id the device does not know. */
COREDLL_API BOOL SHGetSpecialFolderPath(HWND owner, LPWSTR path, int folder, BOOL create);
/* Writes the shortcut file `shortcut` as the text NN#"target" args (NN: the characters
 * after '#'), never replacing an existing one (ERROR_FILE_EXISTS). A target that is itself
 * a shortcut is followed to its own target first. */
COREDLL_API DWORD SHCreateShortcut(LPWSTR shortcut, LPWSTR target);
/* Reads the target text of a shortcut file (after '#'); FALSE with ERROR_BAD_FORMAT when the
 * file is not a shortcut. */
COREDLL_API BOOL SHGetShortcutTarget(LPCWSTR shortcut, LPWSTR target, int size);

COREDLL_API BOOL GetVersionExW(LPOSVERSIONINFOW info);
/* SPI_GETPLATFORMTYPE and SPI_GETOEMINFO: the text into `value`, `size` bytes long. */
COREDLL_API BOOL SystemParametersInfoW(UINT action, UINT size, LPVOID value, UINT update);
/* POWER_STATE_RESET (or the state name "reboot") restarts the device; ERROR_SUCCESS or
 * an error number. */
COREDLL_API DWORD SetSystemPowerState(LPCWSTR state, DWORD flags, DWORD options);

COREDLL_API HRESULT CoInitializeEx(LPVOID reserved, DWORD model);
COREDLL_API void CoUninitialize(void);

COREDLL_END

#endif
