#include "check_commands.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include <pugixml.hpp>

#include "check_faults.h"
#include "check_run.h"
#include "device_commands.h"
#include "package/vocabulary.h"
#include "process_commands.h"
#include "snapshot_diff.h"
#include "text/utf.h"
#include "throwaway_device.h"

namespace stowkit::device_tool {
namespace {

// "NN-<name>": the folder of the pictures of the `number`th installer run.
std::string ShotsFolder(int number, const std::string& name) {
  return (number < 10 ? "0" : "") + std::to_string(number) + "-" + name;
}

// With --screenshots, points the device programs' pictures at the run's own folder `shots`
// under the chosen one; false when it cannot be made.
bool ShotsFor(CheckRun& run, const std::string& step, const std::string& shots) {
  const std::string& folder = run.options.screenshots;
  if (folder.empty() || WantScreenshots(folder + "/" + shots)) return true;
  return run.Record(step, false, "cannot make the screenshot folder");
}

// Installs a host package and learns what it marks; false when the run did not succeed.
// `shots` names its pictures' folder.
bool Install(CheckRun& run, const std::string& step, const std::string& shots,
             const std::string& host_package) {
  RunOutcome outcome;
  if (!ShotsFor(run, step, shots)) return false;
  run.Starting(step);
  bool silent = run.options.screenshots.empty();
  if (!RunInstaller(host_package, silent, run.options.installer_arguments, TimeoutMs(run.options),
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
  std::string detail;
  bool ok = RecordMatches(run.packages.back(), detail);
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
  Leftovers sorted = SortLeftovers(fresh, now, run.packages);
  run.left = std::move(sorted.left);
  run.kept = std::move(sorted.kept);
  run.artefacts = std::move(sorted.artefacts);
  size_t left = run.left.size();
  run.Record("leftovers", left == 0,
             left == 0 ? "nothing left behind"
                       : std::to_string(left) + (left == 1 ? " item" : " items") +
                             " left behind that the package did not mark \"NoRemove\"");
}

void Remove(CheckRun& run, const Snapshot& fresh, const std::string& shots) {
  const PackageMarks& package = run.packages.back();
  if (package.flags & kPackageNoRemove) {
    run.Record("remove", true, "skipped: the package has the flag NoRemove and leaves no uninstaller");
    return;
  }
  RunOutcome outcome;
  if (!ShotsFor(run, "remove", shots)) return;
  run.Starting("remove");
  bool ran = RunUninstaller(Utf16ToUtf8(package.application), run.options.screenshots.empty(),
                            TimeoutMs(run.options), outcome);
  if (run.Record("remove", ran && Passed(outcome),
                 ran ? OutcomeText(outcome, run.options.timeout_seconds)
                     : "could not run the uninstaller")) {
    JudgeDevice(run, fresh);
  }
}

// Stops at the first step that fails: the later ones would only repeat its fault.
void RunSteps(CheckRun& run, const std::string& host_package, const Snapshot& fresh) {
  const std::string& old_package = run.options.old_package;
  int runs = 0;
  if (!old_package.empty() &&
      !Install(run, "install " + old_package, ShotsFolder(++runs, "install-old"), old_package)) {
    return;
  }
  const char* first = old_package.empty() ? "install" : "upgrade";
  if (!Install(run, first, ShotsFolder(++runs, first), host_package) || !CheckRecord(run)) return;
  if (!Install(run, "install again", ShotsFolder(++runs, "install-again"), host_package) ||
      !CheckRecord(run)) {
    return;
  }
  Remove(run, fresh, ShotsFolder(++runs, "remove"));
}

// The steps on the fresh device itself, or on a copy of it when the faults need it fresh
// afterwards; the device is kept as the steps leave it.
bool RunLifecycle(CheckRun& run, const std::string& host_package, const ThrowawayDevice& device,
                  const Snapshot& fresh, std::string& error) {
  std::unique_ptr<ThrowawayDevice> copy;
  if (run.options.faults) {
    copy = std::make_unique<ThrowawayDevice>();
    if (!copy->CopyOf(device.folder(), error)) return false;
  }
  RunSteps(run, host_package, fresh);
  // The runs under faults are silent: their pictures would only be empty screens.
  if (!run.options.screenshots.empty()) unsetenv("STOWKIT_SCREENSHOTS");
  const std::string& keep = run.options.keep;
  if (!keep.empty() && !coredll::CopyDevice(copy ? copy->folder() : device.folder(), keep, &error)) {
    error = "cannot keep the device in '" + keep + "': " + error;
    return false;
  }
  return true;
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
    if (!RunLifecycle(run, host_package, device, fresh, error)) return Error("check: " + error);
    // Faults are judged against clean runs: a lifecycle that fails without them has nothing
    // to compare with.
    if (options.faults && run.passed() && !CheckFaults(run, host_package, device.folder(), fresh, error)) {
      return Error("check: " + error);
    }
    run.progress = nullptr;
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
