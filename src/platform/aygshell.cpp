// The built-in "aygshell.dll" of the Pocket PC shell.
#include <iterator>

#include "platform/builtin_modules.h"
#include "platform/errors.h"
#include "platform/restart.h"

namespace coredll {
namespace {

constexpr UINT kExitWindowsReboot = 2;
constexpr UINT kExitWindowsForce = 4;

// Only a restart has a meaning for the simulated device; other requests are refused.
BOOL ExitWindowsEx(UINT flags, DWORD) {
  if ((flags & ~kExitWindowsForce) != kExitWindowsReboot) return Fail(ERROR_NOT_SUPPORTED);
  return RestartDevice();
}

const BuiltinExport kAygshellExports[] = {
    {"ExitWindowsEx", 0, reinterpret_cast<FARPROC>(ExitWindowsEx),
     [](const DeviceProfile& p) { return p.has_exit_windows; }},
};

}  // namespace

const BuiltinExport* AygshellExports() { return kAygshellExports; }
size_t AygshellExportCount() { return std::size(kAygshellExports); }

}  // namespace coredll
