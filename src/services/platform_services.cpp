#include "services/platform_services.h"

#include "services/file_services.h"
#include "text/fold.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr uint32_t kFacilityMask = 0x1FFF0000u;
constexpr uint32_t kWin32Facility = 0x00070000u;
// From the system, allocated by the platform, line breaks turned into blanks.
constexpr DWORD kSystemTextFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                   FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kNeutralLanguage = 0x0400;

uint32_t CeDeviceKind() {
  WCHAR type[128] = {};
  SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof type, type, 0);
  if (EqualsNoCase(type, u"PocketPC") || EqualsNoCase(type, u"Palm PC2")) return kPlatformPocketPC;
  if (EqualsNoCase(type, u"Smartphone")) return kPlatformSmartphone;
  return kPlatformOtherCE;
}

// The shell's restart; its answer, 0 when the device has no such entry.
BOOL ExitWindowsReboot() {
  HMODULE shell = LoadLibraryW(u"aygshell.dll");
  if (!shell) return FALSE;
  auto exit_windows = reinterpret_cast<PFN_ExitWindowsEx>(GetProcAddressW(shell, u"ExitWindowsEx"));
  BOOL answer = exit_windows ? exit_windows(EWX_REBOOT, 0) : FALSE;
  FreeLibrary(shell);
  return answer;
}

}  // namespace

uint32_t GetPlatformType() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(&version);
  if (version.dwPlatformId == 1 || version.dwPlatformId == 2) return kPlatformDesktop;
  if (version.dwPlatformId != VER_PLATFORM_WIN32_CE) return kPlatformUnknown;
  return CeDeviceKind();
}

int GetSystemFolder(std::u16string& folder) {
  HMODULE core = LoadLibraryW(u"coredll.dll");
  if (!core) return 0;
  WCHAR path[MAX_PATH] = {};
  GetModuleFileNameW(core, path, MAX_PATH);
  PathFolder(path, folder);
  FreeLibrary(core);
  return 1;
}

std::u16string ErrorText(uint32_t code) {
  if ((code & kFacilityMask) == kWin32Facility) code &= 0xFFFF;
  WCHAR* text = nullptr;
  DWORD length = FormatMessageW(kSystemTextFlags, nullptr, code, kNeutralLanguage,
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::u16string result;
  if (length > 0 && text) result.assign(text, length);
  if (text) LocalFree(text);
  return result.empty() ? Format(u"Error (0x%x)", code) : result;
}

int RestartDevice() {
  BOOL answer = ExitWindowsReboot();
  if (answer) return answer;
  HMODULE core = LoadLibraryW(u"coredll.dll");
  if (!core) return answer;
  int result = answer;
  auto set_power = reinterpret_cast<PFN_SetSystemPowerState>(
      GetProcAddressW(core, u"SetSystemPowerState"));
  if (set_power && set_power(nullptr, POWER_STATE_RESET, 0) == ERROR_SUCCESS) result = 1;
  FreeLibrary(core);
  return result;
}

}  // namespace stowkit
