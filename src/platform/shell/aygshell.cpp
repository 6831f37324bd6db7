// The built-in "aygshell.dll" of the Pocket PC shell.
#include <iterator>

#include "coredll/aygshell.h"
#include "platform/device/errors.h"
#include "platform/device/restart.h"
#include "platform/processes/builtin_modules.h"
#include "platform/screen/screen.h"
#include "platform/windows/window_table.h"

namespace coredll {
namespace {

constexpr UINT kExitWindowsReboot = 2;
constexpr UINT kExitWindowsForce = 4;

// Only a restart has a meaning for the simulated device; other requests are refused.
BOOL ExitWindowsEx(UINT flags, DWORD) {
  if ((flags & ~kExitWindowsForce) != kExitWindowsReboot) return Fail(ERROR_NOT_SUPPORTED);
  return ResultOf(RestartDevice());
}

// Changes the shell's state of a dialog of this process; false when it is none
// (ERROR_INVALID_PARAMETER).
template <typename F>
bool ChangeDialog(HWND dialog, F change) {
  bool changed = WithWindow(dialog, [&](Window* w) {
    if (!w || !w->dialog) return false;
    change(*w->dialog);
    return true;
  });
  if (!changed) return false;
  MarkScreenChanged();
  return true;
}

BOOL SHInitDialog(PSHINITDLGINFO info) {
  if (!info || !(info->dwMask & SHIDIM_FLAGS)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD flags = info->dwFlags;
  bool changed = ChangeDialog(info->hDlg, [&](DialogState& d) {
    d.done_button = flags & SHIDIF_DONEBUTTON;
    d.full_width = flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR);
  });
  return changed ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

BOOL SHDoneButton(HWND dialog, DWORD state) {
  if (state != SHDB_SHOW && state != SHDB_HIDE) return Fail(ERROR_INVALID_PARAMETER);
  bool changed = ChangeDialog(dialog, [&](DialogState& d) { d.done_button = state == SHDB_SHOW; });
  return changed ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

const BuiltinExport kAygshellExports[] = {
    {"ExitWindowsEx", 0, reinterpret_cast<FARPROC>(ExitWindowsEx),
     [](const DeviceProfile& p) { return p.has_exit_windows; }},
    {"SHInitDialog", SHINITDIALOG_ORDINAL, reinterpret_cast<FARPROC>(SHInitDialog)},
    {"SHDoneButton", SHDONEBUTTON_ORDINAL, reinterpret_cast<FARPROC>(SHDoneButton)},
};

}  // namespace

const BuiltinExport* AygshellExports() { return kAygshellExports; }
size_t AygshellExportCount() { return std::size(kAygshellExports); }

}  // namespace coredll
