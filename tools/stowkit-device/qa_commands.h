// The commands for package authors and QA, added to the tool's command line by the
// constructor:
//   snapshot NAME                      keep the device's state as NAME
//   snapshot list | delete NAME | restore NAME
//   diff NAME [--json]                 what changed since snapshot NAME
//   plan HOSTPKG [--json] [-- ARGS]    what an install would change (tried on a copy)
//   check HOSTPKG [--upgrade-from OLD.pkg] [--platform P] [--keep DIR] [--timeout S]
//         [--junit FILE] [--json] [-- ARGS]
//                                      a package's whole life on a fresh device
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "check_commands.h"

namespace stowkit::device_tool {

class QaCommands {
 public:
  explicit QaCommands(CLI::App& app);
  bool parsed() const;
  // The chosen command's exit status, on the device in `device_folder`.
  int Run(const std::string& device_folder) const;

 private:
  CLI::App* snapshot_ = nullptr;
  CLI::App* snapshot_list_ = nullptr;
  CLI::App* snapshot_delete_ = nullptr;
  CLI::App* snapshot_restore_ = nullptr;
  CLI::App* diff_ = nullptr;
  CLI::App* plan_ = nullptr;
  CLI::App* check_ = nullptr;
  std::string name_, package_, platform_;
  std::vector<std::string> installer_arguments_;
  bool json_ = false;
  CheckOptions check_options_;
};

}  // namespace stowkit::device_tool
