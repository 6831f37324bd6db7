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

bool RegisteredApplication::Open(std::u16string_view app_name, Removal& why) {
  app_name_ = app_name;
  if (!IsAppName(app_name) || !ReadRegistration(app_name, registration_)) {
    why = Removal::kNotRegistered;
    return false;
  }
  if (!library_.Load(KeptSetupLibrary(app_name))) {
    why = Removal::kNoSetupLibrary;
    return false;
  }
  return true;
}

Removal RegisteredApplication::Remove(HWND owner) {
  if (!RemoveFiles(library_, owner, registration_.install_dir, registration_.files)) {
    return Removal::kCancelled;
  }
  library_.Free();
  DeleteRegistration(app_name_);
  ForceDeleteFile(KeptSetupLibrary(app_name_));
  return Removal::kRemoved;
}

Removal RemoveApplication(HWND owner, std::u16string_view app_name) {
  RegisteredApplication application;
  Removal why = Removal::kRemoved;
  return application.Open(app_name, why) ? application.Remove(owner) : why;
}

}  // namespace stowkit::cab
