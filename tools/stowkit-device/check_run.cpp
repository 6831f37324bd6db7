#include "check_run.h"

#include <algorithm>
#include <iostream>

#include "coredll/windows.h"
#include "device_commands.h"
#include "stowkit/exit_codes.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "snapshot_diff.h"
#include "text/utf.h"
#include "text/version.h"

namespace stowkit::device_tool {
namespace {

void PrintStep(const Step& step) {
  std::string name = step.name;
  name.resize(std::max<size_t>(name.size(), 16), ' ');
  std::cout << (step.ok ? "  ok    " : "  FAIL  ") << name << "  " << step.detail << std::endl;
}

bool FileExists(const std::u16string& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool CheckRun::passed() const {
  return std::all_of(steps.begin(), steps.end(), [](const Step& step) { return step.ok; });
}

void CheckRun::Starting(const std::string& name) {
  if (progress) progress->Show(name + " ...");
}

bool CheckRun::Record(std::string name, bool ok, std::string detail) {
  auto now = std::chrono::steady_clock::now();
  double seconds = std::chrono::duration<double>(now - step_began).count();
  step_began = now;
  steps.push_back({std::move(name), ok, std::move(detail), seconds});
  if (progress) progress->Clear();
  if (!options.json) PrintStep(steps.back());
  return ok;
}

std::string OutcomeText(const RunOutcome& outcome, unsigned timeout_seconds) {
  if (outcome.timed_out) {
    return "still running after " + std::to_string(timeout_seconds) + " s: ended (see --timeout)";
  }
  std::string text = "exit code " + std::to_string(outcome.code);
  if (IsSuccessExit(outcome.code)) return text;
  return text + " (0 or 1000 expected)" + (outcome.reason.empty() ? "" : ": " + outcome.reason);
}

bool Passed(const RunOutcome& outcome) { return !outcome.timed_out && IsSuccessExit(outcome.code); }

DWORD TimeoutMs(const CheckOptions& options) {
  return options.timeout_seconds == 0 ? INFINITE : DWORD(options.timeout_seconds) * 1000;
}

bool RecordMatches(const PackageMarks& package, std::string& detail) {
  const std::u16string& app = package.application;
  uint32_t status = 0, version = 0;
  bool recorded = GetStateDword(app, kStateStatus, status);
  if (package.flags & kNoState) {
    detail = recorded ? "recorded although the package has the flag NoState"
                      : "none, as the package has the flag NoState";
    return !recorded;
  }
  std::string name = Utf16ToUtf8(app);
  if (!recorded) {
    detail = "no record for '" + name + "'";
    return false;
  }
  GetStateDword(app, kStateVersion, version);
  std::u16string program;
  GetStateString(app, kStateUninstallExe, program);
  detail = name + " " + Utf16ToUtf8(FormatVersion(version)) +
           (status == kStatusInstalled ? ", installed" : ", status " + std::to_string(status));
  bool ok = status == kStatusInstalled && version == package.version;
  if (!ok) detail += " (installed " + Utf16ToUtf8(FormatVersion(package.version)) + " expected)";
  if (!(package.flags & kPackageNoRemove)) {
    std::u16string uninstall_package;
    GetStateString(app, kStateUninstallPkg, uninstall_package);
    bool present = FileExists(program) && FileExists(uninstall_package);
    detail += present ? ", uninstaller " + Utf16ToUtf8(program) : ", uninstaller missing";
    ok = ok && present;
  }
  return ok;
}

Leftovers SortLeftovers(const Snapshot& fresh, const Snapshot& now,
                        const std::vector<PackageMarks>& packages) {
  Leftovers sorted;
  for (const ItemChange& change : DiffSnapshots(fresh, now)) {
    if (change.change == ItemChange::kRemoved) continue;  // what a package deletes is its business
    switch (Judge(change.item(), packages)) {
      case ItemVerdict::kInstallerArtefact: sorted.artefacts.push_back(change.item()); break;
      case ItemVerdict::kKept: sorted.kept.push_back(change.item()); break;
      case ItemVerdict::kLeftover: sorted.left.push_back(change.item()); break;
    }
  }
  return sorted;
}

}  // namespace stowkit::device_tool
