#include "check_commands.h"

#include <algorithm>
#include <chrono>
#include <iostream>

#include <pugixml.hpp>

#include "coredll/windows.h"
#include "device_commands.h"
#include "engine/exit_codes.h"
#include "install_commands.h"
#include "package/vocabulary.h"
#include "package_marks.h"
#include "progress.h"
#include "services/product_state.h"
#include "snapshot_diff.h"
#include "text/utf.h"
#include "text/version.h"
#include "throwaway_device.h"

namespace stowkit::device_tool {
namespace {

struct Step {
  std::string name;
  bool ok = false;
  std::string detail;
  double seconds = 0;
};

void PrintStep(const Step& step) {
  std::string name = step.name;
  name.resize(std::max<size_t>(name.size(), 16), ' ');
  std::cout << (step.ok ? "  ok    " : "  FAIL  ") << name << "  " << step.detail << std::endl;
}

struct CheckRun {
  explicit CheckRun(const CheckOptions& chosen) : options(chosen) {}

  const CheckOptions& options;
  std::chrono::steady_clock::time_point step_began = std::chrono::steady_clock::now();
  std::vector<Step> steps;
  std::vector<PackageMarks> packages;  // OLD first when upgrading
  std::vector<SnapshotItem> left, kept, artefacts;
  tool::Progress* progress = nullptr;  // the step under way, on a terminal

  bool passed() const {
    for (const Step& step : steps) {
      if (!step.ok) return false;
    }
    return true;
  }
  void Starting(const std::string& name) {
    if (progress) progress->Show(name + " ...");
  }
  // Each step is shown as it ends, so a long run tells where it is.
  bool Record(std::string name, bool ok, std::string detail) {
    auto now = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(now - step_began).count();
    step_began = now;
    steps.push_back({std::move(name), ok, std::move(detail), seconds});
    if (progress) progress->Clear();
    if (!options.json) PrintStep(steps.back());
    return ok;
  }
};

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

bool FileExists(const std::u16string& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Installs a host package and learns what it marks; false when the run did not succeed.
bool Install(CheckRun& run, const std::string& step, const std::string& host_package) {
  RunOutcome outcome;
  run.Starting(step);
  if (!RunInstaller(host_package, true, run.options.installer_arguments, TimeoutMs(run.options),
                    outcome)) {
    return run.Record(step, false, "could not run the installer");
  }
  PackageMarks marks;
  std::string error;
  if (!ReadPackageMarks(Utf8ToUtf16(PushedPackagePath(host_package)), marks, error)) {
    return run.Record(step, false, error);
  }
  run.packages.push_back(std::move(marks));
  return run.Record(step, Passed(outcome), OutcomeText(outcome, run.options.timeout_seconds));
}

bool CheckRecord(CheckRun& run) {
  const PackageMarks& package = run.packages.back();
  const std::u16string& app = package.application;
  uint32_t status = 0, version = 0;
  bool recorded = GetStateDword(app, kStateStatus, status);
  if (package.flags & kNoState) {
    return run.Record("product record", !recorded,
                      recorded ? "recorded although the package has the flag NoState"
                               : "none, as the package has the flag NoState");
  }
  std::string name = Utf16ToUtf8(app);
  if (!recorded) return run.Record("product record", false, "no record for '" + name + "'");
  GetStateDword(app, kStateVersion, version);
  std::u16string program;
  GetStateString(app, kStateUninstallExe, program);
  std::string detail = name + " " + Utf16ToUtf8(FormatVersion(version)) +
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
  return run.Record("product record", ok, detail);
}

void JudgeDevice(CheckRun& run, const Snapshot& fresh) {
  std::string error;
  Snapshot now;
  run.Starting("leftovers");
  if (!TakeSnapshot(now, error)) {
    run.Record("leftovers", false, error);
    return;
  }
  for (const ItemChange& change : DiffSnapshots(fresh, now)) {
    if (change.change == ItemChange::kRemoved) continue;  // what a package deletes is its business
    switch (Judge(change.item(), run.packages)) {
      case ItemVerdict::kInstallerArtefact: run.artefacts.push_back(change.item()); break;
      case ItemVerdict::kKept: run.kept.push_back(change.item()); break;
      case ItemVerdict::kLeftover: run.left.push_back(change.item()); break;
    }
  }
  size_t left = run.left.size();
  run.Record("leftovers", left == 0,
             left == 0 ? "nothing left behind"
                       : std::to_string(left) + (left == 1 ? " item" : " items") +
                             " left behind that the package did not mark \"NoRemove\"");
}

void Remove(CheckRun& run, const Snapshot& fresh) {
  const PackageMarks& package = run.packages.back();
  if (package.flags & kPackageNoRemove) {
    run.Record("remove", true, "skipped: the package has the flag NoRemove and leaves no uninstaller");
    return;
  }
  RunOutcome outcome;
  run.Starting("remove");
  bool ran = RunUninstaller(Utf16ToUtf8(package.application), true, TimeoutMs(run.options), outcome);
  if (run.Record("remove", ran && Passed(outcome),
                 ran ? OutcomeText(outcome, run.options.timeout_seconds)
                     : "could not run the uninstaller")) {
    JudgeDevice(run, fresh);
  }
}

// Stops at the first step that fails: the later ones would only repeat its fault.
void RunSteps(CheckRun& run, const std::string& host_package, const Snapshot& fresh) {
  const std::string& old_package = run.options.old_package;
  if (!old_package.empty() && !Install(run, "install " + old_package, old_package)) return;
  if (!Install(run, old_package.empty() ? "install" : "upgrade", host_package) || !CheckRecord(run)) {
    return;
  }
  if (!Install(run, "install again", host_package) || !CheckRecord(run)) return;
  Remove(run, fresh);
}

void PrintItems(const std::string& heading, const std::vector<SnapshotItem>& items) {
  if (items.empty()) return;
  std::cout << heading << "\n";
  for (const SnapshotItem& item : items) std::cout << "  " << ItemLabel(item) << "\n";
}

const char* PlatformName(coredll::Platform platform) {
  return platform == coredll::Platform::kSmartphone ? "Smartphone" : "Pocket PC";
}

void PrintSummary(const CheckRun& run) {
  PrintItems("Left behind:", run.left);
  PrintItems("Kept, as the package marks them \"NoRemove\":", run.kept);
  PrintItems("Left by the installer after every removal (expected):", run.artefacts);
  std::cout << (run.passed() ? "PASS" : "FAIL") << "\n";
}

void WriteItems(tool::JsonWriter& json, const char* key, const std::vector<SnapshotItem>& items) {
  json.Key(key).BeginArray();
  for (const SnapshotItem& item : items) WriteItemJson(json, item);
  json.EndArray();
}

void PrintJson(const CheckRun& run, const std::string& host_package) {
  const std::string& old_package = run.options.old_package;
  tool::JsonWriter json;
  json.BeginObject().Key("package").String(host_package).Key("upgrade_from");
  json.OptionalString(old_package.empty() ? std::nullopt : std::optional(old_package));
  json.Key("passed").Bool(run.passed()).Key("steps").BeginArray();
  for (const Step& step : run.steps) {
    json.BeginObject().Key("step").String(step.name).Key("ok").Bool(step.ok);
    json.Key("detail").String(step.detail).EndObject();
  }
  json.EndArray();
  WriteItems(json, "left_behind", run.left);
  WriteItems(json, "kept", run.kept);
  WriteItems(json, "installer_artefacts", run.artefacts);
  std::cout << json.EndObject().text();
}

// CI systems show each case as a test result: the package is the suite, a step a case.
bool WriteJunit(const CheckRun& run, const std::string& host_package, std::string& error) {
  pugi::xml_document document;
  pugi::xml_node suites = document.append_child("testsuites");
  pugi::xml_node suite = suites.append_child("testsuite");
  size_t failures = 0;
  double total = 0;
  for (const Step& step : run.steps) {
    failures += step.ok ? 0 : 1;
    total += step.seconds;
  }
  suite.append_attribute("name") = ("stowkit-device check " + host_package).c_str();
  suite.append_attribute("tests") = run.steps.size();
  suite.append_attribute("failures") = failures;
  suite.append_attribute("errors") = 0;
  suite.append_attribute("time") = total;
  for (const Step& step : run.steps) {
    pugi::xml_node test = suite.append_child("testcase");
    test.append_attribute("classname") = host_package.c_str();
    test.append_attribute("name") = step.name.c_str();
    test.append_attribute("time") = step.seconds;
    if (step.ok) {
      test.append_child("system-out").text() = step.detail.c_str();
    } else {
      pugi::xml_node failure = test.append_child("failure");
      failure.append_attribute("message") = step.detail.c_str();
      std::string items;
      for (const SnapshotItem& item : run.left) items += ItemLabel(item) + "\n";
      if (step.name == "leftovers") failure.text() = items.c_str();
    }
  }
  if (!document.save_file(run.options.junit.c_str(), "  ")) {
    error = "cannot write '" + run.options.junit + "'";
    return false;
  }
  return true;
}

}  // namespace

int CheckPackage(const std::string& host_package, const CheckOptions& options) {
  CheckRun run(options);
  if (!options.json) {
    std::cout << "Checking " << host_package << " on a fresh " << PlatformName(options.platform)
              << " device" << std::endl;
  }
  {
    tool::Progress progress("check");
    progress.Show("making a fresh device");
    run.progress = &progress;
    ThrowawayDevice device;
    std::string error;
    Snapshot fresh;
    if (!device.Fresh(options.platform, error) || !TakeSnapshot(fresh, error)) {
      progress.Clear();
      return Error("check: " + error);
    }
    run.step_began = std::chrono::steady_clock::now();
    RunSteps(run, host_package, fresh);
    run.progress = nullptr;
    if (!options.keep.empty() && !coredll::CopyDevice(device.folder(), options.keep, &error)) {
      return Error("check: cannot keep the device in '" + options.keep + "': " + error);
    }
  }
  if (options.json) {
    PrintJson(run, host_package);
  } else {
    PrintSummary(run);
  }
  std::cout << std::flush;
  if (!std::cout) return Error("cannot write to standard output");
  std::string error;
  if (!options.junit.empty() && !WriteJunit(run, host_package, error)) return Error("check: " + error);
  for (const Step& step : run.steps) {
    if (!step.ok) return Error("check: " + step.name + " failed: " + step.detail);
  }
  return 0;
}

}  // namespace stowkit::device_tool
