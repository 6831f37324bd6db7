#include "engine/engine.h"

#include "stowkit/exit_codes.h"
#include "engine/hooks.h"
#include "engine/run_stages.h"
#include "engine/status_reporter.h"
#include "engine/work_folder.h"
#include "package/vocabulary.h"
#include "resources/ui_strings.h"
#include "services/file_services.h"

namespace stowkit {
namespace {

Engine* the_engine = nullptr;

}  // namespace

Engine::Engine() { the_engine = this; }

Engine::~Engine() {
  UnloadCustomLibrary(*this);
  package.reset();
  if (the_engine == this) the_engine = nullptr;
}

Engine* GetEngine() { return the_engine; }

void Engine::TakeJob(const InstallJob& job) {
  mode = job.mode;
  package_path = job.package_path;
  log_path = job.log_path;
  language = job.language;
  silent = job.silent;
  job_macros = job.macros;
  if (!log_path.empty()) report::SetLogPath(log_path);
}

HRESULT Engine::Run() {
  HRESULT hr = OpenPackage(last_error_text, package_path, package);
  if (SUCCEEDED(hr)) hr = RunOpenPackage();
  if (hr >= 0) {
    completion_status = 0;
  } else {
    switch (mode) {
      case kModePatchInstall: completion_status = kExitPatchInstallFailed; break;
      case kModeFullRemove: completion_status = kExitFullRemoveFailed; break;
      case kModeMinorRemove: completion_status = kExitMinorRemoveFailed; break;
      default: completion_status = kExitFullInstallFailed; break;
    }
  }
  report::Complete(completion_status);
  return hr;
}

HRESULT Engine::RunOpenPackage() {
  SetPackageOptions(package->Header().Flags);
  std::u16string code;
  package->GetProperty(kUserLanguage, code);
  SetUiLanguage(LanguageFromCode(code));
  if (mode == kModeFullInstall && package->TestFlags(kPatch)) mode = kModePatchInstall;

  HRESULT hr = S_OK;
  if (mode == kModeFullInstall || mode == kModePatchInstall) {
    hr = RunInstallSequence(*this);
  } else if (!package->TestFlags(kPackageNoRemove)) {
    hr = RunRemovalSequence(*this);
  }
  UnloadCustomLibrary(*this);
  package.reset();
  RemoveWorkFolder(*this);
  report::Progress(10, 10);
  return hr;
}

int32_t Engine::CompletionStatus() {
  if (completion_status == 0 && GetRestartRequest() != 0) completion_status = 1000;
  return completion_status;
}

void Engine::ReportError(std::u16string_view text) {
  last_error_text = text;
  report::Detail(last_error_text);
}

}  // namespace stowkit
