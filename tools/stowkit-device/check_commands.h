// stowkit-device check: the whole life of a package on a fresh throwaway device, as one CI
// step. Install (after OLD when upgrading), check the product record, install again, remove,
// and compare the device with the fresh one: whatever is left that the package did not mark
// "NoRemove" and that the installer does not leave after every removal fails the check.
//
// The installer leaves, by design: the uninstaller pair "\Windows\AppMgr\<App> Remove.exe"
// and ".pkg" (a running uninstaller cannot delete itself), the logs of the runs, the
// packages pushed to \Temp, and the product store's key HKLM\SOFTWARE\TalvenorKitwright with
// the keys above it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "coredll/device.h"

namespace stowkit::device_tool {

struct CheckOptions {
  std::string old_package;                 // installed first, when not empty
  bool json = false;                       // the report as JSON (else text, each step as it ends)
  coredll::Platform platform = coredll::Platform::kPocketPC;
  std::vector<std::string> installer_arguments;  // after the package, for every install
  std::string keep;                        // a folder to keep a copy of the device in
  unsigned timeout_seconds = 600;          // per installer run; one past it is ended
  std::string junit;                       // a JUnit XML file with one case per step
  // After the steps pass: the install, the upgrade (or the install again) and the removal
  // once more under injected faults, each on a copy of the device, then rerun (check_faults.h).
  bool faults = false;
  unsigned samples = 8;                    // moments of each phase for each kind of fault
  std::string fault_kind;                  // "disk" or "kill" alone; empty: both
  std::optional<uint64_t> seed;            // which moments; drawn and shown when not given
  // Not empty: the installs and the removal run with the dialog, and the pictures of each go
  // to a folder of this one named after it, numbered in order: "01-install",
  // "02-install-again", "03-remove"; upgrading, "01-install-old", "02-upgrade", ...
  // Without a terminal a run's message boxes take the device's scripted answers, else their
  // safe answers, and the dialog closes itself at the end, so a run cannot wait for a user.
  std::string screenshots;
};

// Runs every step silently (with the dialog for --screenshots), prints one line per step and the items kept, left by the
// installer and left behind, as text or JSON. Exit status 0 when every step passed.
int CheckPackage(const std::string& host_package, const CheckOptions& options);

}  // namespace stowkit::device_tool
