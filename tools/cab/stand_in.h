// What the CAB installer stand-ins (wceload, unload) share as device programs: their exit
// codes, the window that owns the setup library's boxes and the installer's dialog, their
// failure boxes, and their own command line.
#pragma once

#include <string>
#include <vector>

#include "coredll/windows.h"

namespace stowkit::cab {

// The exit codes of wceload and unload.
enum StandInExit : int {
  kExitDone = 0,
  kExitCancelled = 1,       // the setup library's Install_Init or Uninstall_Init said cancel
  kExitRolledBack = 2,      // Install_Exit asked for the removal of what was just copied
  kExitUnreadableCab = 3,   // not a CAB, or no valid _setup.xml or _setup.dll in it
  kExitNoSetupLibrary = 4,  // the setup library does not load or lacks an export
  kExitOldCopyKept = 5,     // a re-install whose old copy could not be removed
  kExitNotRegistered = 6,   // unload: no such application; wceload: it could not be recorded
  kExitUsage = 7,           // a command line the program does not understand
};

// A hidden top-level window of its own class, alive as long as this object: the parent
// window handed to the setup library.
class HostWindow {
 public:
  HostWindow(const char16_t* class_name, const char16_t* title);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Shows `text` in an error box owned by `owner`, unless `silent`.
void ShowFailure(bool silent, HWND owner, const std::u16string& text);

// This program's command line as tokens (text/tokenizer.h), without a first token that
// names the program itself, as launchers put it there.
std::vector<std::u16string> ProgramArguments();

}  // namespace stowkit::cab
