// The folder steps: Folder entries created at install and removed (when empty) at removal,
// RemoveFolder entries deleted with everything in them at install.
#include <string>

#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/step_items.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"

namespace stowkit {
namespace {


HRESULT CreateFolderEntry(Engine& engine, CatalogEntry& entry) {
  std::u16string path;
  HRESULT hr = ExpandEntryProperty(engine, entry, kDst, path);
  if (FAILED(hr)) return hr;
  if (CreateFolder(path)) return S_OK;
  hr = LastErrorResult();
  ReportItemError(engine, UiStringId::kFolderInstallError, path, hr);
  return hr;
}

// Every failed delete is reported, also that of a folder already gone (a parent earlier in
// the catalog takes its empty subfolders with it). Never fails the step.
void DeleteFolderEntry(Engine& engine, CatalogEntry& entry, bool delete_files) {
  std::u16string path;
  if (FAILED(ExpandEntryProperty(engine, entry, kDst, path))) return;
  if (DeleteFolder(path, delete_files)) return;
  ReportItemError(engine, UiStringId::kFolderDeleteError, path, LastErrorResult());
}

}  // namespace

HRESULT CreateFolders(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (!IsInstalled(entry)) continue;
    if (entry.EntryType() == kFolder) {
      HRESULT hr = CreateFolderEntry(engine, entry);
      if (FAILED(hr)) return hr;
    } else if (entry.EntryType() == kRemoveFolder) {
      DeleteFolderEntry(engine, entry, true);
    }
  }
  return S_OK;
}

HRESULT RemoveFolders(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (entry.EntryType() == kFolder && IsRemoved(engine, entry)) {
      DeleteFolderEntry(engine, entry, false);
    }
  }
  return S_OK;
}

}  // namespace stowkit
