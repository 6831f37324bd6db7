#include "plan_commands.h"

#include <iostream>

#include "coredll/device.h"
#include "device_commands.h"
#include "stowkit/exit_codes.h"
#include "install_commands.h"
#include "progress.h"
#include "snapshot_diff.h"
#include "throwaway_device.h"

namespace stowkit::device_tool {
namespace {

void PrintText(const std::string& device_folder, const std::string& host_package, uint32_t code,
               const std::vector<ItemChange>& changes) {
  std::cout << "Plan for installing " << host_package << " on " << device_folder
            << " (tried on a copy; the device is unchanged)\n"
            << "Installer exit code: " << code << (IsSuccessExit(code) ? "" : " (the install fails)")
            << "\n"
            << ChangesText(changes);
}

void PrintJson(const std::string& device_folder, const std::string& host_package, uint32_t code,
               const std::vector<ItemChange>& changes) {
  tool::JsonWriter json;
  json.BeginObject().Key("package").String(host_package).Key("device").String(device_folder);
  json.Key("exit_code").Number(code).Key("succeeded").Bool(IsSuccessExit(code)).Key("changes");
  WriteChangesJson(json, changes);
  json.EndObject();
  std::cout << json.text();
}

}  // namespace

int PlanInstall(const std::string& device_folder, const std::string& host_package,
                const std::vector<std::string>& extra, bool json) {
  std::string error;
  Snapshot before, after;
  RunOutcome outcome;
  {
    tool::Progress progress("plan");
    progress.Show("copying the device");
    ThrowawayDevice copy;
    if (!copy.CopyOf(device_folder, error) || !TakeSnapshot(before, error)) {
      progress.Clear();
      return Error("plan: " + error);
    }
    progress.Show("installing " + host_package + " on the copy");
    bool ran = RunInstaller(host_package, true, extra, INFINITE, outcome);
    progress.Show("comparing the copy with the device");
    if (ran && !TakeSnapshot(after, error)) {
      progress.Clear();
      return Error("plan: " + error);
    }
    if (!ran) return 1;
  }
  uint32_t code = outcome.code;
  std::vector<ItemChange> changes = DiffSnapshots(before, after);
  if (json) {
    PrintJson(device_folder, host_package, code, changes);
  } else {
    PrintText(device_folder, host_package, code, changes);
  }
  std::cout << std::flush;
  if (!std::cout) return Error("cannot write to standard output");
  if (!IsSuccessExit(code)) return Error("plan: the install would fail with exit code " + std::to_string(code));
  return 0;
}

}  // namespace stowkit::device_tool
