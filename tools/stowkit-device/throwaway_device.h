// A device that lives for one command, in a new folder under the host's temporary folder:
// a copy of a device, or a fresh one. It is the selected device while it lives; afterwards
// its folder is gone and the device selected before it is selected again.
//
// A signal that stops the tool takes the folder away too (RemovedOnStop). SIGKILL cannot be
// caught, so each folder holds "owner.lock", locked for as long as its tool runs: a new
// throwaway device first removes every earlier one whose lock it can take, as no tool holds
// it any more. A folder without that file is no tool's of this kind and stays.
#pragma once

#include <memory>
#include <string>

#include "coredll/device.h"
#include "removed_on_stop.h"

namespace stowkit::device_tool {

class ThrowawayDevice {
 public:
  ThrowawayDevice() = default;
  ThrowawayDevice(const ThrowawayDevice&) = delete;
  ThrowawayDevice& operator=(const ThrowawayDevice&) = delete;
  ~ThrowawayDevice();

  // A copy of the device in `device` (coredll::CopyDevice). False with a one-line reason.
  bool CopyOf(const std::string& device, std::string& error);
  // A new device of `platform` with the device programs of this build in \Windows.
  bool Fresh(coredll::Platform platform, std::string& error);

  const std::string& folder() const { return folder_; }

 private:
  bool MakeParent(std::string& error);
  void Select();

  std::string parent_;    // the temporary folder that holds the device
  std::string folder_;    // the device folder inside it
  std::string previous_;  // the device selected before
  int lock_ = -1;         // owner.lock, held while the folder is ours
  std::unique_ptr<tool::RemovedOnStop> on_stop_;
};

}  // namespace stowkit::device_tool
