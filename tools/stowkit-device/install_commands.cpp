#include "install_commands.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "device_commands.h"
#include "stowkit/exit_codes.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "process_commands.h"
#include "product_commands.h"
#include "registry_reading.h"
#include "run_log.h"
#include "services/product_state.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::device_tool {

std::string PushedPackagePath(const std::string& host_package) {
  std::string name = std::filesystem::path(host_package).filename().string();
  return name.empty() ? "" : "\\Temp\\" + name;
}

bool IsHostPackage(const std::string& command, const std::string& host_package) {
  std::ifstream in(host_package, std::ios::binary | std::ios::ate);
  if (!in.is_open()) return Error("cannot read '" + host_package + "': " + std::strerror(errno)), false;
  // The probe the reader makes first: a package ends in its header, which starts with the
  // signature. Anything else would only fail on the device, in words about seeking.
  std::streamoff size = in.tellg();
  uint8_t header[kHeaderSize] = {};
  bool read = size >= std::streamoff(kHeaderSize) && in.seekg(size - std::streamoff(kHeaderSize)) &&
              in.read(reinterpret_cast<char*>(header), kHeaderSize);
  if (read && DecodeHeader(header).Signature == kPackageSignature) return true;
  if (!read && in.bad()) return Error("cannot read '" + host_package + "': " + std::strerror(errno)), false;
  Error(command + ": '" + host_package + "' is not a package (it does not end in a package header)");
  return false;
}

namespace {

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
  if (!IsHostPackage("install", host_package)) return false;
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
          "' (see 'stowkit-device products'); 'remove " + application +
          " --package PKG' removes it with the package it was installed from");
    return false;
  }
  run = {Utf16ToUtf8(program), {silent ? "/xs" : "/x", Utf16ToUtf8(package)}, true};
  return true;
}

// The installer removes with the original package as well as with the uninstall package
// it generates: either way its removal builds the macro table from the package it is given.
bool PrepareRemovalWith(const std::string& application, const std::string& host_package,
                        bool silent, InstallerRun& run) {
  std::string device_path = PushedPackagePath(host_package);
  if (device_path.empty()) return Error("remove: '" + host_package + "' names no file"), false;
  if (!IsHostPackage("remove", host_package)) return false;
  if (Push(host_package, device_path) != 0) return false;
  std::unique_ptr<Package> package;
  std::u16string error_text, name;
  if (FAILED(OpenPackage(error_text, Utf8ToUtf16(device_path), package))) {
    return Error("remove: " + Utf16ToUtf8(error_text)), false;
  }
  package->GetProperty(kAppName, name);
  if (!EqualsNoCase(name, Utf8ToUtf16(application))) {
    Error("remove: '" + host_package + "' is the package of '" + Utf16ToUtf8(name) + "', not of '" +
          application + "'");
    return false;
  }
  run = {"\\Windows\\stowkit.exe", {silent ? "/xs" : "/x", device_path}, true};
  return true;
}

// A removal that succeeds deletes the product's record; one that is still there would make
// every later look at the device say the product is installed.
int CheckRecordGone(const std::string& application) {
  OpenedKey record;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductKey(Utf8ToUtf16(application)).c_str(), 0,
                              KEY_READ, record.Out());
  if (result == ERROR_FILE_NOT_FOUND) return 0;
  if (result != ERROR_SUCCESS) return Error("remove: " + RegistryFailure(result));
  return Error("remove: the removal succeeded, yet the product record of '" + application +
               "' is still there (see 'stowkit-device products')");
}

// Runs it and reports as `run` does; a run that fails also says why, from its log. `ended`
// receives the exit code of a run that started.
int RunTelling(const std::string& command, const InstallerRun& run, std::optional<uint32_t>& ended) {
  RunLog log(Utf8ToUtf16(run.arguments[1]), run.arguments, run.removal);
  uint32_t code = 0;
  if (!RunAndWait(run.program, run.arguments, code)) return 1;
  ended = code;
  int status = ExitStatus(code);
  if (!IsSuccessExit(code)) Error(command + ": " + log.FailureReason());
  return status;
}

// Runs it for a tool that reports the outcome its own way.
bool RunJudged(const InstallerRun& run, DWORD timeout_ms, RunOutcome& outcome) {
  RunLog log(Utf8ToUtf16(run.arguments[1]), run.arguments, run.removal);
  outcome = {};
  if (!RunAndWait(run.program, run.arguments, outcome.code, timeout_ms, &outcome.timed_out)) {
    return false;
  }
  if (!outcome.timed_out && !IsSuccessExit(outcome.code)) outcome.reason = log.FailureReason();
  return true;
}

}  // namespace

bool RunInstaller(const std::string& host_package, bool silent,
                  const std::vector<std::string>& extra, DWORD timeout_ms, RunOutcome& outcome) {
  InstallerRun run;
  return PrepareInstall(host_package, silent, extra, run) && RunJudged(run, timeout_ms, outcome);
}

bool RunUninstaller(const std::string& application, bool silent, DWORD timeout_ms,
                    RunOutcome& outcome) {
  InstallerRun run;
  return PrepareRemoval(application, silent, run) && RunJudged(run, timeout_ms, outcome);
}

int InstallPackage(const std::string& host_package, bool silent,
                   const std::vector<std::string>& extra) {
  InstallerRun run;
  std::optional<uint32_t> ended;
  return PrepareInstall(host_package, silent, extra, run) ? RunTelling("install", run, ended) : 1;
}

int RemoveApplication(const std::string& application, bool silent, const std::string& host_package,
                      const std::vector<std::string>& extra) {
  InstallerRun run;
  bool prepared = host_package.empty() ? PrepareRemoval(application, silent, run)
                                       : PrepareRemovalWith(application, host_package, silent, run);
  if (!prepared) return 1;
  run.arguments.insert(run.arguments.end(), extra.begin(), extra.end());
  std::optional<uint32_t> ended;
  int status = RunTelling("remove", run, ended);
  return ended && IsSuccessExit(*ended) && CheckRecordGone(application) != 0 ? 1 : status;
}

}  // namespace stowkit::device_tool
