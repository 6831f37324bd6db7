// The self-registration steps: AppFile entries with "SelfRegister" registered at install and
// unregistered at removal, through the library's own entry points.
#include <string>

#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/status_reporter.h"
#include "engine/step_items.h"
#include "package/vocabulary.h"
#include "services/hresult.h"
#include "services/program_services.h"

namespace stowkit {
namespace {


bool IsSelfRegistering(const CatalogEntry& entry) {
  return entry.EntryType() == kAppFile && entry.TestTypeFlags(kSelfRegister);
}


}  // namespace

// Entries with "IgnoreBlob" are registered too: their file may already be on the device.
// Every entry is tried; any failure fails the step at its end.
HRESULT RegisterFiles(Engine& engine) {
  HRESULT last = S_OK;
  bool failed = false;
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (!IsSelfRegistering(entry) || !IsInstalled(entry)) continue;
    std::u16string path;
    if (FAILED(ExpandEntryProperty(engine, entry, kDst, path))) {
      failed = true;
      continue;
    }
    report::Flush();  // the library's own entry point runs
    last = RegisterServer(path);
    if (FAILED(last)) {
      ReportItemError(engine, UiStringId::kRegisterError, path, last);
      failed = true;
    }
  }
  return failed ? kGenericFailure : last;
}

HRESULT UnregisterFiles(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (!IsSelfRegistering(entry) || !IsRemoved(engine, entry)) continue;
    std::u16string path;
    if (FAILED(ExpandEntryProperty(engine, entry, kDst, path))) continue;
    report::Flush();  // the library's own entry point runs
    HRESULT hr = UnregisterServer(path);
    // Only "file not found" and "path not found" pass silently; a library that cannot be
    // loaded because it is missing (126) is reported like any other failure.
    if (FAILED(hr) && !IsNotFoundResult(hr)) {
      ReportItemError(engine, UiStringId::kUnregisterError, path, hr);
    }
  }
  return S_OK;
}

}  // namespace stowkit
