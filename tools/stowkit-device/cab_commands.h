// CABs from the host: one built to carry the installer, the setup extension and a package;
// installed through the device's CAB installer; its application removed again.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace stowkit::device_tool {

// "cab build|install|remove|list|extract", added to the tool's command line by the constructor.
//   build DIR -o OUT.cab   an MSZIP CAB with "_setup.xml", "_setup.dll" (DIR's, else the
//                          build's libtrellant.so), "<key>.exe" (DIR's, else the build's
//                          installer) and, when DIR has it, "<key>.pkg"; the document puts
//                          the last two into the install folder
//   install HOSTCAB        pushes the CAB to \Temp under its own name and runs
//                          \Windows\wceload.exe on it (/noui with --silent)
//   remove APPNAME         runs \Windows\unload.exe for the registered application
//   list HOSTCAB          the member names, one a line
//   extract HOSTCAB -o DIR the members written into DIR, a member's folders made below it
// install and remove report as `run` does; list and extract read host files only.
class CabCommand {
 public:
  explicit CabCommand(CLI::App& app);
  bool parsed() const { return command_->parsed(); }
  // The chosen subcommand works on host files alone: no device is needed.
  bool on_host() const;
  // The chosen subcommand's exit status.
  int Run() const;

 private:
  CLI::App* command_ = nullptr;
  CLI::App* build_ = nullptr;
  CLI::App* install_ = nullptr;
  CLI::App* list_ = nullptr;
  CLI::App* extract_ = nullptr;
  std::string path_, output_, app_name_, key_, install_dir_;
  bool silent_ = false;
};

}  // namespace stowkit::device_tool
