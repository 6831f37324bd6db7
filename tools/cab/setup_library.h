// A CAB's setup library, loaded, with its four exports looked up.
#pragma once

#include <string_view>

#include "coredll/windows.h"
#include "stowkit/setup_exports.h"

namespace stowkit::cab {

class SetupLibrary {
 public:
  SetupLibrary() = default;
  ~SetupLibrary() { Free(); }
  SetupLibrary(const SetupLibrary&) = delete;
  SetupLibrary& operator=(const SetupLibrary&) = delete;

  // Loads the device file `path`; false with the platform's last error when it does not
  // load or lacks one of the four exports (it is then not kept loaded).
  bool Load(std::u16string_view path);
  // Unloads it, so its file can be moved or deleted; harmless when nothing is loaded.
  void Free();

  pfnINSTALL_INIT install_init = nullptr;
  pfnINSTALL_EXIT install_exit = nullptr;
  pfnUNINSTALL_INIT uninstall_init = nullptr;
  pfnUNINSTALL_EXIT uninstall_exit = nullptr;

 private:
  HMODULE module_ = nullptr;
};

}  // namespace stowkit::cab
