// Why a run of the installer failed, as the log it wrote tells it, for the one line that
// install and remove print after "exit code: N".
//
// The log is the file that "/v" names on the run's command line, else the installer's
// default for the package ("\Stowkit_log_<AppName>.txt", or in the package's LogDst;
// "\Unstowkit_log_<AppName>.txt" for removals). Its three line kinds look alike, so the
// reason is found by the run's shape: every stage opens with its UI text, the engine stops at
// the first failure, and what follows is the same closing for every run (an empty line, the
// two registry flush lines, "Completion status = N"). The reason is the last line the run
// logged before that closing, told together with the stage it belongs to; when that last
// line is the stage's own heading the stage failed without saying why (a custom library's
// hook that returned a failure without SetError, for one).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "coredll/windows.h"

namespace stowkit::device_tool {

// The text of a device log (UTF-16LE, CR LF line ends) as it is, and its creation and write
// times when asked for. False with last-error set when it cannot be read.
bool ReadDeviceLog(const std::u16string& path, std::u16string& text, FILETIME* created = nullptr,
                   FILETIME* written = nullptr);

class RunLog {
 public:
  // Before the run: `package` is the device path the installer is given, `arguments` all
  // of its arguments, `removal` whether they remove. Notes what lies at the log's path now,
  // so that an older log is never read as this run's.
  RunLog(const std::u16string& package, const std::vector<std::string>& arguments, bool removal);

  // After a failed run: why it failed, as one line without the command's name, ending with
  // the log's path; or that it wrote no log, and how to have it write one. A package that
  // does not open, of which the installer logs nothing, is named as the reason too.
  std::string FailureReason() const;

 private:
  struct Stamp {
    FILETIME created = {};
    FILETIME written = {};
  };
  // The log's lines and times; false when there is no log to read.
  bool Read(std::vector<std::u16string>& lines, Stamp& stamp) const;
  // What the log tells, or that there is none.
  std::string LogReason() const;

  std::u16string path_;  // empty when nothing names a log (the package does not open)
  bool named_ = false;   // the command line named it
  bool removal_ = false;
  std::optional<Stamp> before_;
  std::string package_error_;  // why the package does not open, when it does not
};

}  // namespace stowkit::device_tool
