// The four exports the CAB installer calls. The library shares nothing with the installer
// program but command lines, exit codes and the product state store: the installer records
// its uninstaller there, "CEUpgradeMode" tells a removal that an upgrade runs it, and
// "CERollBack" tells it that the CAB installer is taking a failed install back.
#include "stowkit/setup_exports.h"

#include "coredll/windows.h"
#include "services/file_services.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "setupext/installer_files.h"
#include "setupext/installer_start.h"
#include "setupext/setup_options.h"

using namespace stowkit;

namespace {

// The package the CAB unpacked, or the one that lies beside the CAB when it carried none.
std::u16string PackageToInstall(const InstallerFiles& files, const SetupOptions& options) {
  if (FileExists(files.package)) return files.package;
  std::u16string beside = PackageBesideCab(options.cab_path, files.key);
  return beside.empty() ? files.package : beside;
}

// A failed install ends the upgrade it was the second half of, so that no later removal
// takes itself for the first half. And the CAB installer's roll-back, which comes next in
// this process, must leave the recorded uninstaller alone: a failed run records none (that
// is the last work of a successful one), so whatever is recorded belongs to a copy that an
// earlier install left and this failure must not take away.
void PrepareRollBack(const std::u16string& key) {
  std::u16string upgrade;
  if (GetStateString(key, kStateUpgradeMode, upgrade) && upgrade == u"1") {
    SetStateString(key, kStateUpgradeMode, u"0");
  }
  SetStateDword(key, kStateRollBack, GetCurrentProcessId());
}

// True when this removal is that roll-back. The mark goes either way: one left by a CAB
// installer that ended before its roll-back must not keep a later removal from its work.
bool TakeRollBackMark(const std::u16string& key) {
  uint32_t process = 0;
  if (!GetStateDword(key, kStateRollBack, process)) return false;
  DeleteRegValue(HKEY_LOCAL_MACHINE, ProductKey(key), kStateRollBack);
  return process == GetCurrentProcessId();
}

}  // namespace

STOWKIT_SETUP_EXPORT codeINSTALL_INIT Install_Init(HWND, BOOL first_call, BOOL previously_installed,
                                                   LPCWSTR install_folder) {
  CreateFolder(install_folder);
  // A re-install: the removal of the old copy that follows is the first half of an upgrade.
  if (first_call && previously_installed) {
    SetStateString(ProductKeyOf(install_folder), kStateUpgradeMode, u"1");
  }
  return codeINSTALL_INIT_CONTINUE;
}

STOWKIT_SETUP_EXPORT codeINSTALL_EXIT Install_Exit(HWND parent, LPCWSTR install_folder, WORD, WORD,
                                                   WORD, WORD, WORD) {
  SetupOptions options = ReadSetupOptions();
  InstallerFiles files = InstallerFilesIn(install_folder);
  std::u16string package = PackageToInstall(files, options);
  std::u16string arguments = InstallerArguments(u"/i", options.silent, package, parent);
  DWORD exit_code = 0;
  bool started = RunAndWait(parent, files.program, arguments, kInstallStartFailure, exit_code);
  if (started && IsSuccessExit(exit_code)) {
    SetStateString(files.key, kStateUpgradeMode, u"0");
  }
  if (started && exit_code == DWORD(kExitRestartNeeded)) HandOffRestart(files.program);
  // The installer's own failure is the CAB's too: the CAB installer then records nothing.
  bool failed = !started || IsInstallerFailure(exit_code);
  if (failed) PrepareRollBack(files.key);
  ForceDeleteFile(files.program);
  ForceDeleteFile(package);
  DeleteFolder(install_folder, true);
  if (options.delete_cab) DeleteFileW(options.cab_path.c_str());
  SetForegroundWindow(parent);
  return failed ? codeINSTALL_EXIT_UNINSTALL : codeINSTALL_EXIT_DONE;
}

STOWKIT_SETUP_EXPORT codeUNINSTALL_INIT Uninstall_Init(HWND parent, LPCWSTR install_folder) {
  SetupOptions options = ReadSetupOptions();
  CreateFolder(install_folder);
  std::u16string key = ProductKeyOf(install_folder);
  std::u16string program, package;
  bool roll_back = TakeRollBackMark(key);
  // Each half of the uninstaller is read on its own: one that an install left without the
  // other cannot run, but it is still the product's and goes with it.
  bool has_program = !roll_back && GetStateString(key, kStateUninstallExe, program);
  bool has_package = !roll_back && GetStateString(key, kStateUninstallPkg, package);
  if (has_program && has_package) {
    std::u16string upgrade;
    // An upgrade's removal keeps what the new version takes over; a plain one takes all.
    bool upgrading = GetStateString(key, kStateUpgradeMode, upgrade) && upgrade == u"1";
    if (upgrading) SetStateString(key, kStateUpgradeMode, u"0");
    std::u16string arguments =
        InstallerArguments(upgrading ? u"/u" : u"/x", options.silent, package, parent);
    DWORD exit_code = 0;
    if (RunAndWait(parent, program, arguments, kUninstallStartFailure, exit_code) &&
        exit_code == DWORD(kExitRestartNeeded)) {
      HandOffRestart(program);
    }
  }
  if (has_program) ForceDeleteFile(program);
  if (has_package) ForceDeleteFile(package);
  DeleteFolder(install_folder, true);
  return codeUNINSTALL_INIT_CONTINUE;
}

STOWKIT_SETUP_EXPORT codeUNINSTALL_EXIT Uninstall_Exit(HWND parent) {
  SetForegroundWindow(parent);
  return codeUNINSTALL_EXIT_DONE;
}
