#include "install_commands.h"

#include <filesystem>

#include "device_commands.h"
#include "process_commands.h"
#include "product_commands.h"
#include "services/product_state.h"
#include "text/utf.h"

namespace stowkit::device_tool {

std::string PushedPackagePath(const std::string& host_package) {
  std::string name = std::filesystem::path(host_package).filename().string();
  return name.empty() ? "" : "\\Temp\\" + name;
}

bool RunInstaller(const std::string& host_package, bool silent,
                  const std::vector<std::string>& extra, uint32_t& code) {
  std::string device_path = PushedPackagePath(host_package);
  if (device_path.empty()) return Error("install: '" + host_package + "' names no file"), false;
  if (Push(host_package, device_path) != 0) return false;
  std::vector<std::string> arguments = {silent ? "/is" : "/i", device_path};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return RunAndWait("\\Windows\\stowkit.exe", arguments, code);
}

bool RunUninstaller(const std::string& application, bool silent, uint32_t& code) {
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
  return RunAndWait(Utf16ToUtf8(program), {silent ? "/xs" : "/x", Utf16ToUtf8(package)}, code);
}

int InstallPackage(const std::string& host_package, bool silent,
                   const std::vector<std::string>& extra) {
  uint32_t code = 0;
  return RunInstaller(host_package, silent, extra, code) ? ExitStatus(code) : 1;
}

int RemoveApplication(const std::string& application, bool silent) {
  uint32_t code = 0;
  return RunUninstaller(application, silent, code) ? ExitStatus(code) : 1;
}

}  // namespace stowkit::device_tool
