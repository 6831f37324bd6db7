#include "install_commands.h"

#include <filesystem>

#include "device_commands.h"
#include "process_commands.h"
#include "services/product_state.h"
#include "text/utf.h"

namespace stowkit::device_tool {

int InstallPackage(const std::string& host_package, bool silent,
                   const std::vector<std::string>& extra) {
  std::string name = std::filesystem::path(host_package).filename().string();
  if (name.empty()) return Error("install: '" + host_package + "' names no file");
  std::string device_path = "\\Temp\\" + name;
  int status = Push(host_package, device_path);
  if (status != 0) return status;
  std::vector<std::string> arguments = {silent ? "/is" : "/i", device_path};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return Run("\\Windows\\stowkit.exe", arguments);
}

int RemoveApplication(const std::string& application, bool silent) {
  std::u16string product = Utf8ToUtf16(application), program, package;
  GetStateString(product, kStateUninstallExe, program);
  GetStateString(product, kStateUninstallPkg, package);
  if (program.empty() || package.empty()) {
    return Error("remove: no uninstaller is recorded for '" + application +
                 "' (see 'stowkit-device products')");
  }
  return Run(Utf16ToUtf8(program), {silent ? "/xs" : "/x", Utf16ToUtf8(package)});
}

}  // namespace stowkit::device_tool
