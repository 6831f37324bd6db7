// Reading the device registry through the platform, shared by export and snapshots: the
// roots by name, key handles that close themselves, and one key's values and subkeys.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "coredll/windows.h"
#include "regedit_text.h"

namespace stowkit::device_tool {

struct RootKey {
  std::u16string_view name;
  HKEY handle;
};
// Every root the device has, in the order exports list them.
extern const std::array<RootKey, 4> kRootKeys;

// The handle of a root by its full name, as RootName gives it; nullptr for none.
HKEY RootHandle(std::u16string_view full_name);

// A key handle closed when it is replaced or goes out of scope.
class OpenedKey {
 public:
  OpenedKey() = default;
  ~OpenedKey() { Reset(); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  PHKEY Out() {
    Reset();
    return &key_;
  }
  HKEY get() const { return key_; }
  void Reset() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// The values of `key` with their types and bytes, then the names of its subkeys, each in the
// registry's order. ERROR_SUCCESS or the registry's error.
LONG ReadKey(HKEY key, std::vector<RegistryValue>& values, std::vector<std::u16string>& subkeys);

}  // namespace stowkit::device_tool
