// Where the CAB put the installer and its package: the install folder is named
// "<product key>$<display name>", and both files are named after the product key.
#pragma once

#include <string>
#include <string_view>

namespace stowkit {

// The key used when the install folder's name does not have the form above.
inline constexpr std::u16string_view kFallbackProductKey = u"Fennaway";

// The text before the first '$' of the folder's last component; kFallbackProductKey when
// there is no '$' or either side of it is empty.
std::u16string ProductKeyOf(std::u16string_view install_folder);

struct InstallerFiles {
  std::u16string key;      // the product key, also the product's name in the state store
  std::u16string program;  // <install folder>\<key>.exe
  std::u16string package;  // <install folder>\<key>.pkg
};

InstallerFiles InstallerFilesIn(std::u16string_view install_folder);

// The package as the CAB's neighbour: the CAB's folder (through its last '\') followed by
// "<key>.pkg"; empty when the CAB path has no '\'.
std::u16string PackageBesideCab(std::u16string_view cab_path, std::u16string_view key);

}  // namespace stowkit
