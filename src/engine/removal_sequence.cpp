// The removal sequence (modes 3 and 4, packages without "NoRemove"): each stage runs only
// when every stage before it succeeded; whatever the outcome, the product record is deleted
// (or marked failed) and the registry flushed.
#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "stowkit/exit_codes.h"
#include "engine/hooks.h"
#include "engine/macro_sources.h"
#include "engine/run_stages.h"
#include "engine/status_reporter.h"
#include "services/product_state.h"

namespace stowkit {
namespace {

HRESULT PreUninstall(Engine& engine) {
  BeginStage(UiStringId::kPreUninstall, 2);
  BuildMacroTable(engine.macros, engine.work_folder, *engine.package, engine.job_macros);
  return CallGlobalHook(engine, u"PkgCustomPreRemove");
}

HRESULT CallRemoveHooks(Engine& engine, FeatureHook hook, const StringList& features) {
  for (const std::u16string& name : features) {
    report::Detail(name);
    HRESULT hr = CallFeatureHook(engine, hook, name);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// A removal takes the features that the installed copy enabled, not the disabled ones.
HRESULT RemoveFeatures(Engine& engine) {
  BeginStage(UiStringId::kRemovingUnselected, 3);
  StringList enabled = engine.selection.features.EnabledList();
  HRESULT hr = CallRemoveHooks(engine, FeatureHook::kPreRemove, enabled);
  if (FAILED(hr)) return hr;
  hr = RunRemovalSteps(engine);
  if (FAILED(hr)) return hr;
  return CallRemoveHooks(engine, FeatureHook::kPostRemove, enabled);
}

HRESULT PostUninstall(Engine& engine) {
  BeginStage(UiStringId::kPostUninstall, 9);
  return CallGlobalHook(engine, u"PkgCustomPostRemove");
}

HRESULT RemovalStages(Engine& engine) {
  HRESULT hr = Initialize(engine);
  // The log is opened even when initialising failed, so the failure is on record.
  OpenDefaultLog(engine);
  if (FAILED(hr)) return hr;
  for (auto stage : {PreUninstall, RemoveFeatures, PostUninstall}) {
    hr = stage(engine);
    if (FAILED(hr)) return hr;
  }
  return hr;
}

}  // namespace

HRESULT RunRemovalSequence(Engine& engine) {
  HRESULT hr = RemovalStages(engine);
  if (!engine.application_name.empty()) {
    if (FAILED(hr)) {
      SetStateDword(engine.application_name, kStateStatus,
                    engine.mode == kModeFullRemove ? kExitFullRemoveFailed : kExitMinorRemoveFailed);
    } else {
      DeleteState(engine.application_name);
    }
  }
  FlushRegistry();
  return hr;
}

}  // namespace stowkit
