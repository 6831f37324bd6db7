#include "install_commands.h"

#include <filesystem>

#include "device_commands.h"
#include "process_commands.h"
#include "product_commands.h"
#include "run_log.h"
#include "services/product_state.h"
#include "text/utf.h"

namespace stowkit::device_tool {

std::string PushedPackagePath(const std::string& host_package) {
  std::string name = std::filesystem::path(host_package).filename().string();
  return name.empty() ? "" : "\\Temp\\" + name;
}

namespace {

bool Succeeded(uint32_t code) { return code == 0 || code == 1000; }

// One run of the installer program on a package that is on the device.
struct InstallerRun {
  std::string program;
  std::vector<std::string> arguments;  // the mode switch and the package first
  bool removal = false;
};

bool PrepareInstall(const std::string& host_package, bool silent,
                    const std::vector<std::string>& extra, InstallerRun& run) {
  std::string device_path = PushedPackagePath(host_package);
  if (device_path.empty()) return Error("install: '" + host_package + "' names no file"), false;
  if (Push(host_package, device_path) != 0) return false;
  run = {"\\Windows\\stowkit.exe", {silent ? "/is" : "/i", device_path}, false};
  run.arguments.insert(run.arguments.end(), extra.begin(), extra.end());
  return true;
}

bool PrepareRemoval(const std::string& application, bool silent, InstallerRun& run) {
  std::u16string product = Utf8ToUtf16(application), program, package;
  std::string error;
  if ((!GetStateString(product, kStateUninstallExe, program) && !NothingRecorded(error)) ||
      (!GetStateString(product, kStateUninstallPkg, package) && !NothingRecorded(error))) {
    return Error("remove: " + error), false;
  }
  if (program.empty() || package.empty()) {
    Error("remove: no uninstaller is recorded for '" + application +
          "' (see 'stowkit-device products')");
    return false;
  }
  run = {Utf16ToUtf8(program), {silent ? "/xs" : "/x", Utf16ToUtf8(package)}, true};
  return true;
}

// Runs it and reports as `run` does; a run that fails also says why, from its log.
int RunTelling(const std::string& command, const InstallerRun& run) {
  RunLog log(Utf8ToUtf16(run.arguments[1]), run.arguments, run.removal);
  uint32_t code = 0;
  if (!RunAndWait(run.program, run.arguments, code)) return 1;
  int status = ExitStatus(code);
  if (!Succeeded(code)) Error(command + ": " + log.FailureReason());
  return status;
}

}  // namespace

bool RunInstaller(const std::string& host_package, bool silent,
                  const std::vector<std::string>& extra, uint32_t& code) {
  InstallerRun run;
  return PrepareInstall(host_package, silent, extra, run) && RunAndWait(run.program, run.arguments, code);
}

bool RunUninstaller(const std::string& application, bool silent, uint32_t& code) {
  InstallerRun run;
  return PrepareRemoval(application, silent, run) && RunAndWait(run.program, run.arguments, code);
}

int InstallPackage(const std::string& host_package, bool silent,
                   const std::vector<std::string>& extra) {
  InstallerRun run;
  return PrepareInstall(host_package, silent, extra, run) ? RunTelling("install", run) : 1;
}

int RemoveApplication(const std::string& application, bool silent) {
  InstallerRun run;
  return PrepareRemoval(application, silent, run) ? RunTelling("remove", run) : 1;
}

}  // namespace stowkit::device_tool
