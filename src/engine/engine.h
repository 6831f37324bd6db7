// One run of the installer on one package: opens it, decides the run mode, walks the
// catalog through the install or the removal stages, records the product's state and
// reports every stage, item and error through the status reporter.
//
// One engine per process, on the main thread. The stage units reach its state directly
// (the catalog through `package`, the macros, the selection sets, the last error text);
// the host services that custom libraries call reach it through GetEngine().
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "coredll/windows.h"
#include "engine/install_job.h"
#include "engine/macro_table.h"
#include "engine/run_mode.h"
#include "engine/selection.h"
#include "package/package.h"
#include "stowkit/custom_library.h"

namespace stowkit {

class Engine {
 public:
  // Becomes the process-wide engine.
  Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  // Unloads the custom library and closes the package if the run left them.
  ~Engine();

  // Copies mode, package path, log path, language and silent flag; a log path is set on the
  // status reporter at once.
  void TakeJob(const InstallJob& job);

  // The whole run. Returns its final HRESULT, sets the completion status and reports it.
  HRESULT Run();

  // The completion status: 0, or 101..104 for a failed run in mode 1..4; a successful run
  // becomes (and stays) 1000 once a restart has been requested.
  int32_t CompletionStatus();
  std::u16string LastErrorText() const { return last_error_text; }
  uint32_t Silent() const { return silent; }

  // Reports `text` as the run's error: stored as the last error text and sent as Detail.
  void ReportError(std::u16string_view text);

  int32_t mode = kModeFullInstall;
  int32_t language = 0;
  uint32_t package_version = 0;
  std::u16string program_path;
  std::u16string package_path;
  std::u16string application_name;
  std::u16string display_name;
  // The run's private folder under the temporary folder; also SUPPORTDIR.
  std::u16string work_folder;
  // Held open while the work folder exists, so that later runs can tell it is in use.
  HANDLE work_folder_lock = INVALID_HANDLE_VALUE;
  std::u16string user_name;
  std::u16string user_language;
  std::u16string custom_library_path;
  std::u16string log_path;
  RunSelection selection;
  MacroTable macros;
  std::u16string last_error_text;
  int32_t completion_status = 0;
  uint32_t silent = 0;
  std::unique_ptr<Package> package;
  HostServices host_services{};
  HMODULE custom_library = nullptr;
  // The job's /D definitions, set over the engine's own when the macro table is built.
  MacroTable job_macros;

 private:
  // Everything after a successful open: the mode, the sequence and the clean-up.
  HRESULT RunOpenPackage();
};

// The process-wide engine, or null when none exists.
Engine* GetEngine();

}  // namespace stowkit
