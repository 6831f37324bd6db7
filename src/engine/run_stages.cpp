#include "engine/run_stages.h"

#include "engine/catalog_steps.h"
#include "engine/default_log_path.h"
#include "engine/engine.h"
#include "engine/hooks.h"
#include "engine/host_services.h"
#include "engine/status_reporter.h"
#include "engine/work_folder.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/platform_services.h"
#include "text/format.h"

namespace stowkit {
namespace {

std::u16string PackageText(const Package& package, uint8_t id) {
  std::u16string text;
  package.GetProperty(id, text);
  return text;
}

void LoadRunState(Engine& engine) {
  const Package& package = *engine.package;
  engine.package_version = package.Header().Version;
  engine.package_path = package.FileName();
  engine.application_name = PackageText(package, kAppName);
  engine.display_name = PackageText(package, kAppDisplayName);
  engine.user_name = PackageText(package, kUserName);
  engine.user_language = PackageText(package, kUserLanguage);
  LoadSelection(package, engine.selection);
}

// A refused name is dropped: no record is written under it, and the run's log falls back to
// the nameless default.
HRESULT CheckApplicationName(Engine& engine) {
  if (IsUsableApplicationName(engine.application_name)) return S_OK;
  HRESULT hr = HResultFromError(ERROR_INVALID_NAME);
  engine.ReportError(Format(u"Invalid application name '%s': %s", engine.application_name,
                            ErrorText(uint32_t(hr))));
  engine.application_name.clear();
  return hr;
}

}  // namespace

void BeginStage(UiStringId status_id, int32_t step) {
  report::Status(status_id);
  report::Detail(u"");
  report::Progress(step, 10);
}

HRESULT Initialize(Engine& engine) {
  BeginStage(UiStringId::kInitializing, 1);
  GetModulePath(engine.program_path);
  LoadRunState(engine);
  HRESULT hr = CheckApplicationName(engine);
  if (FAILED(hr)) return hr;
  hr = CreateWorkFolder(engine);
  if (FAILED(hr)) {
    engine.ReportError(ErrorText(uint32_t(hr)));
    return hr;
  }
  FillHostServices(engine.host_services);
  report::Begin(engine.display_name, engine.mode);
  hr = ExtractSupportFiles(engine);
  if (FAILED(hr)) return hr;
  return LoadCustomLibrary(engine);
}

HRESULT RunCatalogSteps(Engine& engine, const CatalogStep (&steps)[5]) {
  int32_t progress = 4;
  for (const CatalogStep& step : steps) {
    BeginStage(step.status_id, progress++);
    HRESULT hr = step.work(engine);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT RunRemovalSteps(Engine& engine) {
  using enum UiStringId;
  static constexpr CatalogStep kRemovalSteps[] = {
      {kUnregisteringFiles, UnregisterFiles},  {kRemovingFiles, RemoveFiles},
      {kRemovingValues, RemoveRegistryValues}, {kRemovingShortcuts, RemoveShortcuts},
      {kRemovingFolders, RemoveFolders},
  };
  return RunCatalogSteps(engine, kRemovalSteps);
}

void OpenDefaultLog(Engine& engine) {
  if (!engine.log_path.empty()) return;
  engine.log_path =
      DefaultLogPath(*engine.package, engine.application_name, engine.mode, engine.macros);
  report::SetLogPath(engine.log_path);
}

void FlushRegistry() {
  report::Detail(u"");
  report::Debug(kFlushingRegistryText);
  RegFlushKey(HKEY_CURRENT_USER);
  RegFlushKey(HKEY_LOCAL_MACHINE);
  RegFlushKey(HKEY_CLASSES_ROOT);
  PostMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0xF2, 0);
  report::Debug(kRegistryFlushedText);
}

}  // namespace stowkit
