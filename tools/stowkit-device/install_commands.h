// Installing and removing applications from the host, as a user would on the device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "coredll/windows.h"

namespace stowkit::device_tool {

// Pushes the host package to \Temp under its own file name and runs the installer on it
// with /i (/is when `silent`), then `extra` arguments; reports as `run` does, and a run that
// fails (an exit code but 0 and 1000) adds one line that tells why, from the run's log
// (run_log.h).
int InstallPackage(const std::string& host_package, bool silent,
                   const std::vector<std::string>& extra);

// Runs the uninstaller that the product record of `application` names, with /x (/xs when
// `silent`) on its uninstall package, then `extra` arguments; a clear error when none is
// recorded. With a `host_package` (the package it was installed from, whose AppName must be
// `application`), pushes that to \Temp instead and runs \Windows\stowkit.exe /x[s] on it,
// for a product whose uninstaller was never recorded. Reports as InstallPackage does; a
// removal that succeeds but leaves the product's record fails with the reason.
int RemoveApplication(const std::string& application, bool silent, const std::string& host_package,
                      const std::vector<std::string>& extra);

// True when the host file ends in a package header; else false with one line printed:
// "COMMAND: 'PATH' is not a package ...", or why the file cannot be read.
bool IsHostPackage(const std::string& command, const std::string& host_package);

// Where InstallPackage puts a host package: "\Temp\<its file name>"; "" when the path
// names no file.
std::string PushedPackagePath(const std::string& host_package);

// How a run that a tool judges itself ended.
struct RunOutcome {
  uint32_t code = 0;       // the installer's whole exit code
  bool timed_out = false;  // it ran past its time and was ended
  std::string reason;      // why it failed, from its log, when it ended with neither 0 nor 1000
};

// InstallPackage and RemoveApplication for tools that judge the outcome themselves: true
// with the outcome, false with the reason printed when the package could not be pushed, no
// uninstaller is recorded or the program could not be started. A run still going after
// `timeout_ms` is ended (RunAndWait).
bool RunInstaller(const std::string& host_package, bool silent,
                  const std::vector<std::string>& extra, DWORD timeout_ms, RunOutcome& outcome);
bool RunUninstaller(const std::string& application, bool silent, DWORD timeout_ms,
                    RunOutcome& outcome);

}  // namespace stowkit::device_tool
