// The record of one run, filled from the command line and read by the engine when the run
// starts. One per process.
#pragma once

#include <cstdint>
#include <string>

#include "coredll/windows.h"
#include "engine/macro_table.h"
#include "engine/run_mode.h"

namespace stowkit {

struct InstallJob {
  // The token after the mode switch, else the running program's own file.
  std::u16string package_path;
  // From /v; empty when the engine is to choose the default.
  std::u16string log_path;
  int32_t mode = kModeFullInstall;
  // 0 English, 1 French, 2 Italian, 3 German, 4 Spanish, 5 Japanese.
  int32_t language = 0;
  uint32_t silent = 0;
  // Owner of the progress dialog (/h); read only by the shell.
  HWND owner_window = nullptr;
  // Non-zero for a wait-and-restart run (/p); read only by the shell.
  uint32_t wait_process_id = 0;
  // The /D definitions; the engine sets them last, over its own.
  MacroTable macros;
};

// The process's job, created with default fields when there is none yet.
InstallJob& CreateInstallJob();
// The job, or null before it is created.
InstallJob* GetInstallJob();
void DestroyInstallJob();

}  // namespace stowkit
