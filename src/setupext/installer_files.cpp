#include "setupext/installer_files.h"

#include "services/file_services.h"

namespace stowkit {

std::u16string ProductKeyOf(std::u16string_view install_folder) {
  std::u16string name;
  PathFileName(install_folder, name);
  size_t dollar = name.find(u'$');
  if (dollar == name.npos || dollar == 0 || dollar + 1 == name.size()) {
    return std::u16string(kFallbackProductKey);
  }
  return name.substr(0, dollar);
}

InstallerFiles InstallerFilesIn(std::u16string_view install_folder) {
  InstallerFiles files;
  files.key = ProductKeyOf(install_folder);
  std::u16string base = JoinPath(install_folder, files.key);
  files.program = base + u".exe";
  files.package = base + u".pkg";
  return files;
}

std::u16string PackageBesideCab(std::u16string_view cab_path, std::u16string_view key) {
  size_t slash = cab_path.rfind(u'\\');
  if (slash == cab_path.npos) return {};
  return std::u16string(cab_path.substr(0, slash + 1)) + std::u16string(key) + u".pkg";
}

}  // namespace stowkit
