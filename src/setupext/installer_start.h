// Starting the installer program (or the uninstaller it left) from the CAB installer's
// process, and handing a restart on to it.
#pragma once

#include <string>
#include <string_view>

#include "coredll/windows.h"
#include "stowkit/exit_codes.h"

namespace stowkit {

// The installer's exit codes for a run that failed, one for each of its four modes.
inline bool IsInstallerFailure(DWORD exit_code) {
  return exit_code >= DWORD(kExitFullInstallFailed) && exit_code <= DWORD(kExitMinorRemoveFailed);
}

// The messages of a program that cannot be started, filled from the error number, the
// program path and the arguments.
inline constexpr std::u16string_view kInstallStartFailure =
    u"Error %d running: [%s %s] .  Installation cannot continue.";
inline constexpr std::u16string_view kUninstallStartFailure =
    u"Error %d running: [%s %s].  Uninstallation cannot continue.";

// "<mode switch>[s] \"<package>\" /h 0x<owner>": the switch gets the letter s when silent.
std::u16string InstallerArguments(std::u16string_view mode_switch, bool silent,
                                  std::u16string_view package, HWND owner);

// Starts `program` with `arguments` and waits for it, serving the caller's messages
// meanwhile; true and its exit code once it has ended. When it cannot be started, an error
// box owned by `owner` says so with `failure` and the result is false.
bool RunAndWait(HWND owner, std::u16string_view program, std::u16string_view arguments,
                std::u16string_view failure, DWORD& exit_code);

// Starts `program` again with "/p <this process's id>" and does not wait: it waits for the
// CAB installer to end and then restarts the device.
void HandOffRestart(std::u16string_view program);

}  // namespace stowkit
