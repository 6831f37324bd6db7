#include "check_faults.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "package/vocabulary.h"
#include "services/product_state.h"
#include "snapshot_diff.h"
#include "text/fold.h"
#include "text/utf.h"
#include "throwaway_device.h"

namespace stowkit::device_tool {
namespace {

// What the programs of a clean run did: the most calls of each operation that one of them
// made, in the tally's order ("open", "read", "write", ...), and the writes at which one of
// them turned to another file.
struct Tally {
  std::vector<std::pair<std::string, unsigned>> calls;
  std::set<unsigned> switches;
};

// An environment variable for the device programs that the tool starts while it lives.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { unsetenv(name_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
};

struct Phase {
  std::string name;     // "install", "upgrade", "install again" or "removal"
  std::string package;  // the host package it installs; empty for the removal
  const PackageMarks* marks = nullptr;  // of the package it installs, or removes
  std::string start;    // the device folder it starts from
  Snapshot clean_end;   // the device as the clean run left it
  // Items that two clean runs a second apart leave different (a value holding the time of
  // the install): the clock's doing, not the run's.
  std::set<std::string> unstable;
  Tally tally;
};

struct Fault {
  std::string name;  // "disk full from write 17 of 143"
  std::string rule;  // "write#17+=112"
};

bool ReadTally(const std::string& file, Tally& tally) {
  std::ifstream in(file);
  tally = {};
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    size_t i = 0;
    for (std::string word; words >> word; ++i) {
      size_t eq = word.find('=');
      if (eq == std::string::npos) return false;
      std::string name = word.substr(0, eq);
      std::istringstream numbers(word.substr(eq + 1));
      if (name == "switches") {
        for (std::string n; std::getline(numbers, n, ',');) tally.switches.insert(unsigned(std::stoul(n)));
        continue;
      }
      unsigned count = 0;
      numbers >> count;
      if (i == tally.calls.size()) tally.calls.emplace_back(name, 0);
      if (tally.calls[i].first != name) return false;
      tally.calls[i].second = std::max(tally.calls[i].second, count);
    }
  }
  return !tally.calls.empty();
}

unsigned Calls(const Tally& tally, const std::string& op) {
  for (const auto& [name, count] : tally.calls) {
    if (name == op) return count;
  }
  return 0;
}

// `samples` distinct numbers from 1 to `count` in order, every one when there are no more;
// the same ones for the same seed on every machine.
std::vector<unsigned> Draw(unsigned count, unsigned samples, std::mt19937_64& random) {
  std::set<unsigned> drawn;
  if (count <= samples) {
    for (unsigned n = 1; n <= count; ++n) drawn.insert(n);
  } else {
    for (unsigned j = count - samples + 1; j <= count; ++j) {  // Floyd's selection
      unsigned pick = unsigned(random() % j) + 1;
      drawn.insert(drawn.count(pick) ? j : pick);
    }
  }
  return {drawn.begin(), drawn.end()};
}

// A full disk from each write that turns to another file (every file the run writes meets
// it), and kills anywhere.
std::vector<Fault> DrawFaults(const Phase& phase, const CheckOptions& options, std::mt19937_64& random) {
  std::vector<Fault> faults;
  const Tally& tally = phase.tally;
  unsigned samples = options.fault_kind == "kill" ? 0 : options.samples;
  std::vector<unsigned> switches(tally.switches.begin(), tally.switches.end());
  std::string writes = std::to_string(Calls(tally, "write"));
  for (unsigned i : Draw(unsigned(switches.size()), samples, random)) {
    std::string n = std::to_string(switches[i - 1]);
    faults.push_back({"disk full from write " + n + " of " + writes,
                      "write#" + n + "+=" + std::to_string(ERROR_DISK_FULL)});
  }
  samples = options.fault_kind == "disk" ? 0 : options.samples;
  unsigned total = 0;
  for (const auto& op : tally.calls) total += op.second;
  for (unsigned n : Draw(total, samples, random)) {
    for (const auto& [op, count] : tally.calls) {
      if (n > count) {
        n -= count;
        continue;
      }
      faults.push_back({"killed at " + op + " " + std::to_string(n) + " of " + std::to_string(count),
                        op + "#" + std::to_string(n) + "=kill"});
      break;
    }
  }
  return faults;
}

bool RunPhase(const CheckRun& run, const Phase& phase, RunOutcome& outcome) {
  if (!phase.package.empty()) {
    return RunInstaller(phase.package, true, run.options.installer_arguments, TimeoutMs(run.options),
                        outcome);
  }
  return RunUninstaller(Utf16ToUtf8(phase.marks->application), true, TimeoutMs(run.options), outcome);
}

// How a faulted run ended, in short: that it failed is expected, why is in OutcomeText.
std::string Course(const RunOutcome& outcome, unsigned timeout_seconds) {
  if (outcome.timed_out) return OutcomeText(outcome, timeout_seconds);
  if (outcome.code == EXIT_CODE_KILLED) return "killed";
  return "exit code " + std::to_string(outcome.code);
}

// "~ file \Program Files\Notes\a.txt (size, crc)"; at most three, then how many more.
std::string ChangeList(const std::vector<ItemChange>& changes) {
  std::string text;
  for (size_t i = 0; i < changes.size() && i < 3; ++i) {
    const ItemChange& change = changes[i];
    text += std::string(i ? "; " : "") +
            (change.change == ItemChange::kAdded ? "+ " : change.change == ItemChange::kRemoved ? "- " : "~ ") +
            ItemLabel(change.item());
    if (!change.fields.empty()) {
      std::string fields;
      for (const std::string& field : change.fields) fields += (fields.empty() ? "" : ", ") + field;
      text += " (" + fields + ")";
    }
  }
  if (changes.size() > 3) text += "; and " + std::to_string(changes.size() - 3) + " more";
  return text;
}

// The changes from `before` to `after` but those of times alone: two runs of the same
// install do not happen at the same moment.
std::vector<ItemChange> Differences(const Snapshot& before, const Snapshot& after) {
  std::vector<ItemChange> changes = DiffSnapshots(before, after);
  for (ItemChange& change : changes) {
    std::erase_if(change.fields, [](const std::string& f) { return f == "created" || f == "written"; });
  }
  std::erase_if(changes, [](const ItemChange& change) {
    return change.change == ItemChange::kChanged && change.fields.empty();
  });
  return changes;
}

// What differs between the device now and as the clean run of the phase left it: times
// aside, and what the installer leaves after every run (logs, pushed packages, the product
// store, the uninstaller pair), which the record check covers.
bool DiffersFromClean(const CheckRun& run, const Phase& phase, std::string& problem) {
  Snapshot now;
  std::string error;
  if (!TakeSnapshot(now, error)) {
    problem = error;
    return true;
  }
  std::vector<ItemChange> differences;
  for (ItemChange& change : Differences(phase.clean_end, now)) {
    if (Judge(change.item(), run.packages) == ItemVerdict::kInstallerArtefact) continue;
    if (phase.unstable.count(ItemLabel(change.item()))) continue;
    differences.push_back(std::move(change));
  }
  if (differences.empty()) return false;
  problem = "the device differs from a clean " + phase.name + ": " + ChangeList(differences);
  return true;
}

bool Recorded(const PackageMarks& package) {
  uint32_t status = 0;
  return GetStateDword(package.application, kStateStatus, status);
}

// A run that says it succeeded must have done what a clean one does.
bool SuccessHolds(const CheckRun& run, const Phase& phase, std::string& problem) {
  if (DiffersFromClean(run, phase, problem)) return false;
  const PackageMarks& package = *phase.marks;
  std::string detail;
  if (phase.package.empty()) {
    if (!Recorded(package)) return true;
    problem = "the product record is still there";
    return false;
  }
  if (RecordMatches(package, detail)) return true;
  problem = "the product record: " + detail;
  return false;
}

// The work folder of a run killed before its clean-up, and its lock: the installer's next
// run deletes both (engine/work_folder.h), so they are not the package's leftovers.
bool OrphanedWorkFolder(const SnapshotItem& item) {
  if (item.kind != SnapshotItem::kFile && item.kind != SnapshotItem::kFolder) return false;
  WCHAR temp[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH, temp);
  std::u16string prefix = std::u16string(temp, length) + u"PKG_";
  return length > 0 && item.path.size() > prefix.size() &&
         EqualsNoCase(std::u16string_view(item.path).substr(0, prefix.size()), prefix);
}

// After the faulted run and, when it failed, its rerun: the product can be removed and its
// removal leaves nothing that nobody asked to stay.
bool RemovableAfterwards(const CheckRun& run, const Phase& phase, const Snapshot& fresh,
                         std::string& course, std::string& problem) {
  if (phase.marks->flags & kPackageNoRemove) return true;  // it leaves no uninstaller
  if (!phase.package.empty()) {
    RunOutcome outcome;
    if (!RunUninstaller(Utf16ToUtf8(phase.marks->application), true, TimeoutMs(run.options), outcome) ||
        !Passed(outcome)) {
      problem = "the product cannot be removed afterwards: " +
                OutcomeText(outcome, run.options.timeout_seconds);
      return false;
    }
    course += ", removed";
  }
  Snapshot now;
  std::string error;
  if (!TakeSnapshot(now, error)) {
    problem = error;
    return false;
  }
  Leftovers sorted = SortLeftovers(fresh, now, run.packages);
  std::erase_if(sorted.left, OrphanedWorkFolder);
  if (sorted.left.empty()) return true;
  problem = "its removal leaves " + std::to_string(sorted.left.size()) + " item(s) behind: " +
            ItemLabel(sorted.left.front());
  return false;
}

bool JudgeSample(const CheckRun& run, const Phase& phase, const RunOutcome& faulted,
                 const Snapshot& fresh, std::string& detail) {
  unsigned timeout = run.options.timeout_seconds;
  std::string course = Course(faulted, timeout), problem;
  bool ok = [&] {
    std::vector<std::string> findings = coredll::CheckDeviceRegistry(coredll::DeviceFolder());
    if (!findings.empty()) {
      problem = "the registry fails its integrity check: " + findings.front();
      return false;
    }
    if (Passed(faulted)) {
      if (!SuccessHolds(run, phase, problem)) {
        problem = "reported success but " + problem;
        return false;
      }
    } else if (phase.package.empty() && !Recorded(*phase.marks)) {
      // Ended after the record went: the removal was done but for its last log lines, and
      // with no uninstaller recorded there is nothing to rerun; its leftovers tell.
      course += ", no record left to rerun";
    } else {
      RunOutcome rerun;
      if (!RunPhase(run, phase, rerun)) {
        problem = "the rerun could not start";
        return false;
      }
      if (!Passed(rerun)) {
        problem = "the rerun ended with " + OutcomeText(rerun, timeout);
        return false;
      }
      course += ", rerun " + std::to_string(rerun.code);
    }
    return RemovableAfterwards(run, phase, fresh, course, problem);
  }();
  detail = ok ? course : course + ": " + problem;
  return ok;
}

void TrySample(CheckRun& run, const Phase& phase, const Fault& fault, const Snapshot& fresh) {
  std::string step = phase.name + ", " + fault.name, error;
  run.Starting(step);
  ThrowawayDevice device;
  if (!device.CopyOf(phase.start, error)) {
    run.Record(step, false, "cannot copy the device: " + error);
    return;
  }
  RunOutcome outcome;
  bool ran;
  {
    ScopedVariable rule("STOWKIT_FAULTS", fault.rule);
    ran = RunPhase(run, phase, outcome);
  }
  std::string detail;
  bool ok = ran && JudgeSample(run, phase, outcome, fresh, detail);
  run.Record(step, ok, ran ? detail : "could not run");
}

// Runs the phase cleanly once more, in another second of the clock, and notes what comes
// out different from the first clean run.
bool FindUnstable(CheckRun& run, Phase& phase, std::string& error) {
  ThrowawayDevice again;
  if (!again.CopyOf(phase.start, error)) return false;
  std::time_t first = std::time(nullptr);
  while (std::time(nullptr) == first) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  RunOutcome outcome;
  Snapshot end;
  if (!RunPhase(run, phase, outcome) || !Passed(outcome)) {
    run.Record(phase.name + ", counted", false,
               "a second clean run: " + OutcomeText(outcome, run.options.timeout_seconds));
    return false;
  }
  if (!TakeSnapshot(end, error)) return false;
  for (const ItemChange& change : Differences(phase.clean_end, end)) {
    phase.unstable.insert(ItemLabel(change.item()));
  }
  return true;
}

// The clean run of a phase on a copy of its start, counting the calls of its programs.
// False (with the step recorded) when it does not succeed as the lifecycle's run did.
bool CleanRun(CheckRun& run, Phase& phase, ThrowawayDevice& device, const std::string& tally_file,
              std::string& error) {
  if (!device.CopyOf(phase.start, error)) return false;
  std::error_code ignored;
  std::filesystem::remove(tally_file, ignored);
  RunOutcome outcome;
  bool ran;
  {
    ScopedVariable tally("STOWKIT_FAULT_TALLY", tally_file);
    ran = RunPhase(run, phase, outcome);
  }
  if (!ran || !Passed(outcome) || !ReadTally(tally_file, phase.tally)) {
    run.Record(phase.name + ", counted", false,
               ran ? "the clean run to count its calls: " + OutcomeText(outcome, run.options.timeout_seconds)
                   : "could not run");
    return false;
  }
  if (!TakeSnapshot(phase.clean_end, error)) return false;
  return FindUnstable(run, phase, error);
}

}  // namespace

bool CheckFaults(CheckRun& run, const std::string& host_package, const std::string& fresh_folder,
                 const Snapshot& fresh, std::string& error) {
  // The tool's own calls (the pushes to \Temp) never fail: its rules are set, and empty,
  // before the variables for the device programs are.
  if (!coredll::SetFaults("", &error)) return false;
  const CheckOptions& options = run.options;
  uint64_t seed = options.seed ? *options.seed : std::random_device()();
  if (!options.json) {
    std::string kinds = options.fault_kind.empty() ? "for each kind of fault"
                        : options.fault_kind == "disk" ? "with a full disk" : "for a kill";
    std::cout << "Faults: up to " << options.samples << " moments of each phase " << kinds << ", seed " << seed
              << " (--seed " << seed << " repeats them)" << std::endl;
  }
  bool upgrade = !options.old_package.empty();
  std::vector<Phase> phases(2);
  phases[0].name = "install";
  phases[0].package = upgrade ? options.old_package : host_package;
  phases[0].marks = &run.packages.front();
  phases[0].start = fresh_folder;
  phases[1].name = upgrade ? "upgrade" : "install again";
  phases[1].package = host_package;
  phases[1].marks = &run.packages.back();
  if (!(run.packages.back().flags & kPackageNoRemove)) {
    phases.emplace_back().name = "removal";
    phases.back().marks = &run.packages.back();
  }
  // Each clean run's device is the next phase's start, and stays while the faults need it.
  std::vector<std::unique_ptr<ThrowawayDevice>> clean(phases.size());
  std::string tally_file = std::filesystem::path(fresh_folder).parent_path() / "fault-tally";
  for (size_t i = 0; i < phases.size(); ++i) {
    run.Starting(phases[i].name + ", counted");
    clean[i] = std::make_unique<ThrowawayDevice>();
    if (!CleanRun(run, phases[i], *clean[i], tally_file, error)) return error.empty();
    if (i + 1 < phases.size()) phases[i + 1].start = clean[i]->folder();
  }
  std::mt19937_64 random(seed);
  for (const Phase& phase : phases) {
    for (const Fault& fault : DrawFaults(phase, options, random)) TrySample(run, phase, fault, fresh);
  }
  return true;
}

}  // namespace stowkit::device_tool
