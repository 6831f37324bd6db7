#include "setup_library.h"

#include <string>

namespace stowkit::cab {
namespace {

template <typename Function>
bool Find(HMODULE module, const char16_t* name, Function& function) {
  function = reinterpret_cast<Function>(GetProcAddressW(module, name));
  return function != nullptr;
}

}  // namespace

bool SetupLibrary::Load(std::u16string_view path) {
  Free();
  module_ = LoadLibraryW(std::u16string(path).c_str());
  if (module_ == nullptr) return false;
  if (Find(module_, szINSTALL_INIT, install_init) && Find(module_, szINSTALL_EXIT, install_exit) &&
      Find(module_, szUNINSTALL_INIT, uninstall_init) &&
      Find(module_, szUNINSTALL_EXIT, uninstall_exit)) {
    return true;
  }
  DWORD error = GetLastError();
  Free();
  SetLastError(error);
  return false;
}

void SetupLibrary::Free() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  install_init = nullptr;
  install_exit = nullptr;
  uninstall_init = nullptr;
  uninstall_exit = nullptr;
}

}  // namespace stowkit::cab
