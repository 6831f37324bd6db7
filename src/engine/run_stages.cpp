#include "engine/run_stages.h"

#include "engine/catalog_steps.h"
#include "engine/default_log_path.h"
#include "engine/engine.h"
#include "engine/hooks.h"
#include "engine/host_services.h"
#include "engine/status_reporter.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/platform_services.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr uint32_t kInitializingText = 7;

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

// The folder is named after the second the run started in. A run started within the same
// second (an old version's uninstaller that this run starts) must not share it, because each
// run deletes its folder at the end: the name gets "_2", "_3", ... until it is new.
HRESULT CreateWorkFolder(Engine& engine) {
  std::u16string base;
  if (!MakeTempFolderPath(base)) return LastErrorResult();
  std::u16string parent;
  PathFolder(base, parent);
  if (!CreateFolder(parent)) return LastErrorResult();
  std::u16string path = base;
  for (int suffix = 2; !CreateDirectoryW(path.c_str(), nullptr); ++suffix) {
    if (GetLastError() != ERROR_ALREADY_EXISTS || suffix > 999) return LastErrorResult();
    path = Format(u"%s_%d", base, suffix);
  }
  engine.work_folder = path;
  return S_OK;
}

}  // namespace

void BeginStage(uint32_t status_id, int32_t step) {
  report::Status(status_id);
  report::Detail(u"");
  report::Progress(step, 10);
}

HRESULT Initialize(Engine& engine) {
  BeginStage(kInitializingText, 1);
  GetModulePath(engine.program_path);
  LoadRunState(engine);
  HRESULT hr = CreateWorkFolder(engine);
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
  enum : uint32_t {
    kUnregisteringText = 18,
    kRemovingFilesText = 19,
    kRemovingValuesText = 20,
    kRemovingShortcutsText = 21,
    kRemovingFoldersText = 22,
  };
  static constexpr CatalogStep kRemovalSteps[] = {
      {kUnregisteringText, UnregisterFiles},     {kRemovingFilesText, RemoveFiles},
      {kRemovingValuesText, RemoveRegistryValues}, {kRemovingShortcutsText, RemoveShortcuts},
      {kRemovingFoldersText, RemoveFolders},
  };
  return RunCatalogSteps(engine, kRemovalSteps);
}

void OpenDefaultLog(Engine& engine) {
  if (!engine.log_path.empty()) return;
  engine.log_path = DefaultLogPath(*engine.package, engine.mode, engine.macros);
  report::SetLogPath(engine.log_path);
}

void FlushRegistry() {
  report::Detail(u"");
  report::Debug(u"Flushing registry changes...");
  RegFlushKey(HKEY_CURRENT_USER);
  RegFlushKey(HKEY_LOCAL_MACHINE);
  RegFlushKey(HKEY_CLASSES_ROOT);
  PostMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0xF2, 0);
  report::Debug(u"Flushing registry changes completed");
}

}  // namespace stowkit
