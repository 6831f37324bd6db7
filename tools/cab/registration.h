// The platform's record of the applications that CABs installed: one key per application,
// HKEY_LOCAL_MACHINE\SOFTWARE\Apps\<AppName>, and the CAB's setup library kept as
// \Windows\AppMgr\<AppName>.dll for the removal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stowkit::cab {

inline constexpr std::u16string_view kAppsKey = u"SOFTWARE\\Apps";

struct Registration {
  std::u16string install_dir;         // "InstallDir": the folder the setup library was given
  std::u16string cab_file;            // "CabFile": where the CAB was installed from
  std::vector<std::u16string> files;  // "Files" (multi-string): every file the CAB copied
};

// A name fit to be a key and a file name: 1 to kMaxAppName characters, no '\' or '/'.
inline constexpr size_t kMaxAppName = 200;
bool IsAppName(std::u16string_view app_name);

std::u16string KeptSetupLibrary(std::u16string_view app_name);

// True when the application's key exists.
bool IsRegistered(std::u16string_view app_name);

// False when the key is missing or has no "InstallDir".
bool ReadRegistration(std::u16string_view app_name, Registration& registration);

// Replaces the application's key with `registration`; false with the platform's last error
// when it cannot be written.
bool WriteRegistration(std::u16string_view app_name, const Registration& registration);

// Deletes the key (a missing one is fine).
void DeleteRegistration(std::u16string_view app_name);

}  // namespace stowkit::cab
