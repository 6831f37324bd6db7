// Changes a test device's profile (device.toml) and has the platform read it again.
#pragma once

#include <string>

#include "support/temp_device.h"

namespace stowkit::testing {

// Replaces the first occurrence of `from` by `to`; false when the profile has no `from`.
inline bool SetProfileLine(const TempDevice& device, const std::string& from,
                           const std::string& to) {
  std::string path = device.folder() + "/device.toml";
  std::string profile = ReadHostFile(path);
  size_t at = profile.find(from);
  if (at == std::string::npos) return false;
  profile.replace(at, from.size(), to);
  WriteHostFile(path, profile);
  coredll::SelectDevice(device.folder());
  return true;
}

}  // namespace stowkit::testing
