#include "removal.h"

#include <algorithm>

#include "registration.h"
#include "services/file_services.h"
#include "text/fold.h"

namespace stowkit::cab {
namespace {

bool IsInside(std::u16string_view folder, std::u16string_view root) {
  if (folder.size() < root.size() || !EqualsNoCase(folder.substr(0, root.size()), root)) {
    return false;
  }
  return folder.size() == root.size() || folder[root.size()] == u'\\';
}

// Each file's folder and the folders above it up to `install_dir`, deepest first.
std::vector<std::u16string> FoldersToTry(std::u16string_view install_dir,
                                         const std::vector<std::u16string>& files) {
  std::vector<std::u16string> folders;
  for (const std::u16string& file : files) {
    std::u16string folder;
    PathFolder(file, folder);
    while (!folder.empty() && IsInside(folder, install_dir)) {
      folders.push_back(folder);
      std::u16string parent;
      PathFolder(folder, parent);
      folder = parent;
    }
  }
  std::sort(folders.begin(), folders.end(), [](const std::u16string& a, const std::u16string& b) {
    return a.size() != b.size() ? a.size() > b.size() : a < b;
  });
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  return folders;
}

}  // namespace

bool RemoveFiles(const SetupLibrary& library, HWND owner, std::u16string_view install_dir,
                 const std::vector<std::u16string>& files) {
  std::u16string folder(install_dir);
  if (library.uninstall_init(owner, folder.c_str()) != codeUNINSTALL_INIT_CONTINUE) return false;
  for (const std::u16string& file : files) ForceDeleteFile(file);
  // A folder that still holds something is not removed: the platform refuses.
  for (const std::u16string& empty : FoldersToTry(install_dir, files)) {
    RemoveDirectoryW(empty.c_str());
  }
  library.uninstall_exit(owner);
  return true;
}

Removal RemoveApplication(HWND owner, std::u16string_view app_name) {
  Registration registration;
  if (!IsAppName(app_name) || !ReadRegistration(app_name, registration)) {
    return Removal::kNotRegistered;
  }
  std::u16string kept = KeptSetupLibrary(app_name);
  SetupLibrary library;
  if (!library.Load(kept)) return Removal::kNoSetupLibrary;
  if (!RemoveFiles(library, owner, registration.install_dir, registration.files)) {
    return Removal::kCancelled;
  }
  library.Free();
  DeleteRegistration(app_name);
  ForceDeleteFile(kept);
  return Removal::kRemoved;
}

}  // namespace stowkit::cab
