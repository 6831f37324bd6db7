// The install sequence (modes 1 and 2): each stage runs only when every stage before it
// succeeded; whatever the outcome, the product's final status is recorded and the registry
// flushed.
#include <string>

#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "stowkit/exit_codes.h"
#include "engine/hooks.h"
#include "engine/macro_sources.h"
#include "engine/run_stages.h"
#include "engine/status_reporter.h"
#include "engine/uninstall_steps.h"
#include "engine/version_check.h"
#include "package/vocabulary.h"
#include "services/product_state.h"

namespace stowkit {
namespace {

// Registry values are merged before the files are registered, so the progress numbers of
// the last two steps run 4, 5, 6, 7, 8 while the texts come in this order.
constexpr CatalogStep kInstallSteps[] = {
    {UiStringId::kCreatingFolders, CreateFolders},
    {UiStringId::kExtractingFiles, ExtractFiles},
    {UiStringId::kMergingRegistry, MergeRegistry},
    {UiStringId::kRegisteringFiles, RegisterFiles},
    {UiStringId::kCreatingShortcuts, CreateShortcuts},
};

bool AskYesNoBox(HWND owner, std::u16string_view text, std::u16string_view caption) {
  std::u16string body(text), title(caption);
  return MessageBoxW(owner, body.c_str(), title.c_str(), kDowngradeQuestionStyle) == IDYES;
}

HRESULT CheckInstalledVersion(Engine& engine) {
  VersionCheckRun run;
  run.package_flags = engine.package->Header().Flags;
  run.package_version = engine.package_version;
  run.application_name = engine.application_name;
  run.display_name = engine.display_name;
  run.silent = engine.silent != 0;
  run.ask = AskYesNoBox;
  return CheckVersion(run, engine.last_error_text);
}

HRESULT PreInstall(Engine& engine) {
  BeginStage(UiStringId::kPreInstall, 2);
  HRESULT hr = CheckInstalledVersion(engine);
  if (FAILED(hr)) return hr;
  BuildMacroTable(engine.macros, engine.work_folder, *engine.package, engine.job_macros);
  SetStateDword(engine.application_name, kStateStatus,
                engine.mode == kModeFullInstall ? 1 : 2);
  HRESULT hook = CallGlobalHook(engine, u"PkgCustomPreInstall");
  OpenDefaultLog(engine);
  LogFeatureSelection(engine.selection.features);
  report::Debug(engine.macros.LogDump());
  if (FAILED(hook)) return hook;
  RemovePreviousVersion(engine);
  return hook;
}

HRESULT CallFeatureHooks(Engine& engine, FeatureHook hook, const StringList& features,
                         bool report_names) {
  for (const std::u16string& name : features) {
    if (report_names && !name.empty()) report::Detail(name);
    HRESULT hr = CallFeatureHook(engine, hook, name);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT RemoveUnselectedFeatures(Engine& engine) {
  BeginStage(UiStringId::kRemovingUnselected, 3);
  StringList disabled = engine.selection.features.DisabledList();
  HRESULT hr = CallFeatureHooks(engine, FeatureHook::kPreRemove, disabled, true);
  if (FAILED(hr)) return hr;
  hr = RunRemovalSteps(engine);
  if (FAILED(hr)) return hr;
  return CallFeatureHooks(engine, FeatureHook::kPostRemove, disabled, false);
}

HRESULT InstallFeatures(Engine& engine) {
  StringList enabled = engine.selection.features.EnabledList();
  HRESULT hr = CallFeatureHooks(engine, FeatureHook::kPreInstall, enabled, false);
  if (FAILED(hr)) return hr;
  hr = RunCatalogSteps(engine, kInstallSteps);
  if (FAILED(hr)) return hr;
  return CallFeatureHooks(engine, FeatureHook::kPostInstall, enabled, false);
}

void RecordProduct(Engine& engine) {
  const std::u16string& product = engine.application_name;
  SetStateDword(product, kStateStatus, 0);
  SetStateDword(product, kStateVersion, engine.package_version);
  RecordSelection(product, engine.selection);
  std::u16string platform;
  engine.package->GetProperty(kPlatformId, platform);
  SetStateString(product, kStatePlatformId, platform);
}

HRESULT PostInstall(Engine& engine) {
  BeginStage(UiStringId::kPostInstall, 9);
  HRESULT hr = CallGlobalHook(engine, u"PkgCustomPostInstall");
  if (FAILED(hr)) return hr;
  RecordProduct(engine);
  report::Status(UiStringId::kConfiguringUninstall);
  report::Detail(u"");
  // An install that leaves no uninstaller could never be taken off again: it fails.
  HRESULT generated = GenerateUninstaller(engine);
  return FAILED(generated) ? generated : hr;
}

HRESULT InstallStages(Engine& engine) {
  HRESULT (*const stages[])(Engine&) = {Initialize, PreInstall, RemoveUnselectedFeatures,
                                        InstallFeatures, PostInstall};
  HRESULT hr = S_OK;
  for (auto stage : stages) {
    hr = stage(engine);
    if (FAILED(hr)) return hr;
  }
  return hr;
}

}  // namespace

HRESULT RunInstallSequence(Engine& engine) {
  HRESULT hr = InstallStages(engine);
  if (!engine.application_name.empty()) {
    int32_t status = SUCCEEDED(hr)                    ? kExitSuccess
                     : engine.mode == kModeFullInstall ? kExitFullInstallFailed
                                                       : kExitPatchInstallFailed;
    SetStateDword(engine.application_name, kStateStatus, status);
  }
  FlushRegistry();
  return hr;
}

}  // namespace stowkit
