// The installer's process exit codes: the contract with the programs that start it (the setup
// extension, the host tools, and the engine when it runs a previous version's uninstaller).
// 0 and 101..104 are also the engine's completion status.
#pragma once

#include <cstdint>

namespace stowkit {

inline constexpr int32_t kExitSuccess = 0;  // also every wait-and-restart run
// Success, and the run raised the restart request: the device must restart to finish.
inline constexpr int32_t kExitRestartNeeded = 1000;
inline constexpr int32_t kExitFullInstallFailed = 101;
inline constexpr int32_t kExitPatchInstallFailed = 102;
inline constexpr int32_t kExitFullRemoveFailed = 103;
inline constexpr int32_t kExitMinorRemoveFailed = 104;
inline constexpr int32_t kExitInvalidCommandLine = int32_t(0x80070057);

// What every launcher takes for a finished install or removal.
inline constexpr bool IsSuccessExit(uint32_t code) {
  return code == uint32_t(kExitSuccess) || code == uint32_t(kExitRestartNeeded);
}
// When the progress dialog cannot be created, the exit code is the platform's last error.

}  // namespace stowkit
