#include "engine/hooks.h"

#include <string>

#include "engine/engine.h"
#include "engine/status_reporter.h"
#include "package/extract.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "text/format.h"

namespace stowkit {
namespace {

bool IsSupportEntry(const CatalogEntry& entry) {
  return entry.EntryType() == kSupportFile || entry.EntryType() == kCustomDll;
}

// The tick count in the library's name keeps a library that an earlier run still holds
// from colliding with this run's copy.
std::u16string ExtractedName(const CatalogEntry& entry, std::u16string_view name) {
  if (entry.EntryType() != kCustomDll) return std::u16string(name);
  return Format(u"%lu_%s", GetTickCount(), name);
}

HRESULT ExtractSupportEntry(Engine& engine, int index, const CatalogEntry& entry) {
  std::u16string name;
  entry.GetProperty(kDst, name);
  if (name.empty()) {
    engine.ReportError(Format(u"Support file entry %d missing file name", index));
    return kGenericFailure;
  }
  std::u16string path = JoinPath(engine.work_folder, ExtractedName(entry, name));
  if (entry.EntryType() == kCustomDll) engine.custom_library_path = path;
  ForceDeleteFile(path);
  HRESULT hr = ExtractEntryBlob(entry, path);
  if (FAILED(hr)) {
    engine.ReportError(Format(u"Error extracting to %s, hr = 0x%x", path, uint32_t(hr)));
    return hr;
  }
  return S_OK;
}

HRESULT CallLoadedHook(Engine& engine, std::u16string_view export_name) {
  std::u16string name(export_name);
  auto hook = reinterpret_cast<PkgCustomHook>(GetProcAddressW(engine.custom_library,
                                                              name.c_str()));
  if (hook == nullptr) return S_OK;
  // The library's code may wait, ask or start programs: nothing is held while it runs (its
  // own lines are written as it logs them).
  report::Flush();
  HRESULT hr = hook(&engine.host_services);
  report::Refresh();
  report::Detail(u"");
  return hr;
}

const char16_t* FeatureHookPattern(FeatureHook hook) {
  switch (hook) {
    case FeatureHook::kPreInstall: return u"%sCustomPreInstall";
    case FeatureHook::kPostInstall: return u"%sCustomPostInstall";
    case FeatureHook::kPreRemove: return u"%sCustomPreRemove";
    case FeatureHook::kPostRemove: return u"%sCustomPostRemove";
  }
  return u"";
}

}  // namespace

HRESULT ExtractSupportFiles(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    const CatalogEntry& entry = *engine.package->GetEntry(index);
    if (!IsSupportEntry(entry)) continue;
    HRESULT hr = ExtractSupportEntry(engine, index, entry);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT LoadCustomLibrary(Engine& engine) {
  if (engine.custom_library_path.empty()) return S_OK;
  report::Flush();  // loading runs the library's own start-up code
  engine.custom_library = LoadLibraryW(engine.custom_library_path.c_str());
  if (engine.custom_library != nullptr) return S_OK;
  HRESULT hr = LastErrorResult();
  engine.ReportError(
      Format(u"Error loading '%s': 0x%x", engine.custom_library_path, uint32_t(hr)));
  return hr;
}

void UnloadCustomLibrary(Engine& engine) {
  if (engine.custom_library == nullptr) return;
  FreeLibrary(engine.custom_library);
  engine.custom_library = nullptr;
}

HRESULT CallGlobalHook(Engine& engine, std::u16string_view export_name) {
  if (engine.custom_library == nullptr) return S_FALSE;
  return CallLoadedHook(engine, export_name);
}

HRESULT CallFeatureHook(Engine& engine, FeatureHook hook, std::u16string_view feature) {
  if (feature.empty()) return S_FALSE;
  std::u16string name = Format(FeatureHookPattern(hook), feature);
  return CallGlobalHook(engine, name);
}

int32_t CallFileInUseHook(Engine& engine, std::u16string_view path, uint32_t operation) {
  if (engine.custom_library == nullptr) return 0;
  auto hook = reinterpret_cast<PkgCustomFileInUseHook>(
      GetProcAddressW(engine.custom_library, u"PkgCustomFileInUse"));
  if (hook == nullptr) return 0;
  std::u16string text(path);
  report::Flush();
  int32_t answer = hook(&engine.host_services, text.c_str(), operation);
  report::Refresh();
  report::Detail(u"");
  return answer;
}

}  // namespace stowkit
