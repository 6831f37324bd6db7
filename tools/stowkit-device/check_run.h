// What a check has done so far and the judgements its steps share: a run's outcome, the
// product record, and what a device holds that nobody asked to stay.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "check_commands.h"
#include "device_snapshot.h"
#include "install_commands.h"
#include "package_marks.h"
#include "progress.h"

namespace stowkit::device_tool {

struct Step {
  std::string name;
  bool ok = false;
  std::string detail;
  double seconds = 0;
};

struct CheckRun {
  explicit CheckRun(const CheckOptions& chosen) : options(chosen) {}

  const CheckOptions& options;
  std::chrono::steady_clock::time_point step_began = std::chrono::steady_clock::now();
  std::vector<Step> steps;
  std::vector<PackageMarks> packages;  // OLD first when upgrading
  std::vector<SnapshotItem> left, kept, artefacts;
  tool::Progress* progress = nullptr;  // the step under way, on a terminal

  bool passed() const;
  void Starting(const std::string& name);
  // Each step is shown as it ends, so a long run tells where it is. Returns `ok`.
  bool Record(std::string name, bool ok, std::string detail);
};

// "exit code 0"; "exit code 101 (0 or 1000 expected): <reason>"; or that it was ended.
std::string OutcomeText(const RunOutcome& outcome, unsigned timeout_seconds);
// Ended by itself with 0 or 1000.
bool Passed(const RunOutcome& outcome);
DWORD TimeoutMs(const CheckOptions& options);

// Whether the product record is what installing `package` leaves: installed, at its version,
// with the uninstaller pair in place (none at all for a package with the flag NoState).
// `detail` tells what was found.
bool RecordMatches(const PackageMarks& package, std::string& detail);

// The items that `now` added to or changed on the `fresh` device, by Judge's verdict.
struct Leftovers {
  std::vector<SnapshotItem> left, kept, artefacts;
};
Leftovers SortLeftovers(const Snapshot& fresh, const Snapshot& now,
                        const std::vector<PackageMarks>& packages);

}  // namespace stowkit::device_tool
