// The device profile (device.toml): what kind of handheld the device folder imitates.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "coredll/device.h"
#include "coredll/windows.h"

namespace coredll {

// Folder ids of the shell's special-folder lookup.
enum SpecialFolder : int {
  kCsidlPrograms = 0x02,
  kCsidlPersonal = 0x05,
  kCsidlFavorites = 0x06,
  kCsidlStartup = 0x07,
  kCsidlStartMenu = 0x0B,
  kCsidlFonts = 0x14,
  kCsidlAppData = 0x1A,
  kCsidlWindows = 0x24,
  kCsidlProgramFiles = 0x26,
};

struct DeviceProfile {
  std::string platform_type;  // SPI_GETPLATFORMTYPE: "PocketPC", "Smartphone"
  DWORD os_major = 4;
  DWORD os_minor = 20;
  DWORD os_build = 0;
  LCID locale = 0x0409;
  LONG timezone_bias = 0;     // minutes; UTC = local time + bias
  std::u16string temp_path;   // with its trailing '\'
  std::map<int, std::u16string> special_folders;  // by folder id, no trailing '\'
  bool has_toolhelp = true;
  bool has_aygshell = true;
  bool has_message_table = true;
  bool has_power_manager = true;  // SetSystemPowerState in coredll.dll
  bool has_exit_windows = false;  // ExitWindowsEx in aygshell.dll
};

DeviceProfile DefaultProfile(Platform platform);

std::string ProfileToToml(const DeviceProfile& profile);

// Reads a profile; false with a one-line reason when the text is not a valid profile.
bool ParseProfile(std::string_view text, DeviceProfile& profile, std::string& error);

}  // namespace coredll
