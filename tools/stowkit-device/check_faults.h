// check --faults: the package's life again under injected faults, each on a throwaway copy of
// the device, as a pulled battery or a full card would meet it on a handheld.
//
// Three phases are tried: the install (of OLD when upgrading), the upgrade (else the install
// again) and the removal. Each is first run cleanly on a copy with every device program
// counting its calls (coredll's fault tally); those counts choose the moments. For each
// phase and each kind of fault, `samples` moments are drawn (every one when there are no more
// than that):
//   disk full  every write from the N-th on fails with ERROR_DISK_FULL, in each program of
//              the run;
//   kill       each program of the run is killed at its N-th call of the chosen operation.
// After each faulted run, a sample fails, naming the fault, when
//   - the run reports success but the device is not what the clean run left (times aside) or,
//     for an install, the product record is not complete;
//   - the registry fails its integrity check;
//   - a failed run cannot be rerun to 0;
//   - the product cannot then be removed, or its removal leaves items behind (but for the
//     work folder of a killed run, which the installer's next run deletes).
// A removal killed after it dropped the product record has nothing to rerun.
#pragma once

#include <string>

#include "check_run.h"
#include "device_snapshot.h"

namespace stowkit::device_tool {

// Records one step per sample in `run`. `fresh_folder` is a fresh device, `fresh` its
// snapshot. False with a one-line reason when a device cannot be copied or a snapshot taken.
bool CheckFaults(CheckRun& run, const std::string& host_package, const std::string& fresh_folder,
                 const Snapshot& fresh, std::string& error);

}  // namespace stowkit::device_tool
