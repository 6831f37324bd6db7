// The file steps: AppFile entries written from their blobs, RemoveFile entries and removed
// AppFile entries deleted, each with a few attempts and the file-in-use handler for files
// that a running program holds.
#include <string>
#include <unordered_map>

#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/file_in_use.h"
#include "engine/status_reporter.h"
#include "engine/step_items.h"
#include "package/extract.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/process_services.h"
#include "text/fold.h"

namespace stowkit {
namespace {

constexpr int kAttempts = 5;
// A program that is just ending, or a file being scanned, often lets go within this time.
constexpr DWORD kRetryPauseMs = 3000;

// The attributes the file had before, with those the entry asks for; "normal" only alone.
uint32_t AttributesAfterWrite(const CatalogEntry& entry, uint32_t before) {
  uint32_t attributes = before;
  if (entry.TestTypeFlags(kReadOnly)) attributes |= FILE_ATTRIBUTE_READONLY;
  if (entry.TestTypeFlags(kHidden)) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (attributes != FILE_ATTRIBUTE_NORMAL) attributes &= ~uint32_t(FILE_ATTRIBUTE_NORMAL);
  return attributes;
}

// Other programs run during the pause (the holder may be ending) and messages are
// dispatched: the log is on disk meanwhile.
void PauseBeforeRetry() {
  report::Flush();
  WaitWithMessages(nullptr, kRetryPauseMs);
}

// The times first: a read-only file can no longer be opened to set them.
void FinishWrittenFile(const CatalogEntry& entry, const std::u16string& path, uint32_t before) {
  std::u16string date;
  if (entry.GetProperty(kDate, date)) SetFileTimeText(path, date);
  uint32_t attributes = AttributesAfterWrite(entry, before);
  if (attributes != 0) SetFileAttributesW(path.c_str(), attributes);
}

// A new file that must never be seen unfinished under its name: one that later installs
// keep as they find it (NoOverwrite) must not be found cut short, and one that is given
// attributes must not be found without them, or the run after a kill would take the
// attributes it finds as the file's own and add them to the entry's.
bool IsMadeAside(const CatalogEntry& entry, bool exists) {
  return !exists &&
         (entry.TestTypeFlags(kNoOverwrite) || AttributesAfterWrite(entry, 0) != 0);
}

// Such a file is extracted into the work folder, finished there and moved under its name
// whole. A run killed half-way leaves nothing under the name, and its part in the work
// folder, which the next run clears away with the folder.
HRESULT ExtractAside(const Engine& engine, const CatalogEntry& entry,
                     const std::u16string& path) {
  std::u16string part = JoinPath(engine.work_folder, u"new-file.part");
  HRESULT hr = ExtractEntryBlob(entry, part);
  if (SUCCEEDED(hr)) {
    FinishWrittenFile(entry, part, 0);
    if (!MoveFileW(part.c_str(), path.c_str())) hr = LastErrorResult();
  }
  if (FAILED(hr)) ForceDeleteFile(part);
  return hr;
}

// The folders this run made or found for the files written so far, folded: the files of one
// folder do not each look it up again. Each says whether its files are taken to be new: true
// until one of them is found there already.
using FolderSet = std::unordered_map<std::u16string, bool>;

// Where the folder of `path` stands in `folders`, made or found first if it is not there;
// null when it could not be made.
bool* EnsureFolderOnce(FolderSet& folders, const std::u16string& path) {
  std::u16string folder = UpperCase(std::u16string_view(path).substr(0, path.rfind(u'\\')));
  if (auto known = folders.find(folder); known != folders.end()) return &known->second;
  if (!EnsureParentFolder(path)) return nullptr;
  return &folders.emplace(std::move(folder), true).first->second;
}

// One extraction. A folder found for an earlier file may have gone since (another program
// removed it): it is made again and the file written at once.
HRESULT Extract(const Engine& engine, const CatalogEntry& entry, const std::u16string& path,
                bool aside) {
  auto extract = [&] {
    return aside ? ExtractAside(engine, entry, path) : ExtractEntryBlob(entry, path);
  };
  HRESULT hr = extract();
  if (hr != HResultFromError(ERROR_PATH_NOT_FOUND) || !EnsureParentFolder(path)) return hr;
  return extract();
}

// Up to five extractions. S_OK when written, S_FALSE when the file-in-use handler said to
// skip it (the file stays as it was), else the last extraction's failure.
HRESULT WriteWithRetries(Engine& engine, const CatalogEntry& entry, const std::u16string& path,
                         bool aside) {
  HRESULT hr = S_OK;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    hr = Extract(engine, entry, path, aside);
    if (SUCCEEDED(hr)) return S_OK;
    if (attempt == 1) {
      PauseBeforeRetry();
      continue;
    }
    ReportItemError(engine, UiStringId::kFileInstallError, path, hr);
    if (!IsInUseResult(hr)) continue;
    FileInUseAnswer answer = FileInUse(engine, path, PKG_FILE_OPERATION_OVERWRITE);
    if (answer == PKG_FILE_IN_USE_ABORT) return hr;
    if (answer == PKG_FILE_IN_USE_SKIP) return S_FALSE;
  }
  return hr;
}

// Writes one AppFile's content to `path`: S_OK, S_FALSE when it was kept (NoOverwrite, or
// skipped while in use), or the failure of the last attempt.
HRESULT InstallFile(Engine& engine, const CatalogEntry& entry, const std::u16string& path,
                    FolderSet& folders) {
  // While none of a folder's files was found there already, the next is written as new,
  // which spares looking it up first: a fresh install looks up none. One that is there after
  // all, or a write that fails, takes the usual way, and so do the folder's later files.
  bool* fresh = EnsureFolderOnce(folders, path);
  if (fresh && *fresh && !IsMadeAside(entry, false)) {
    if (ExtractEntryBlob(entry, path, CREATE_NEW) == S_OK) {
      FinishWrittenFile(entry, path, 0);
      return S_OK;
    }
    *fresh = false;
  }
  uint32_t before = 0;
  bool exists = GetFileAttribs(path, before);
  if (exists) {
    // An existing file is made writable even when it is kept.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (entry.TestTypeFlags(kNoOverwrite)) return S_FALSE;
  }
  bool aside = IsMadeAside(entry, exists);
  HRESULT hr = WriteWithRetries(engine, entry, path, aside);
  if (hr == S_OK && !aside) FinishWrittenFile(entry, path, before);
  return hr;
}

// Up to five deletions; a file that is not there counts as deleted. With `pause_first` the
// first failure is followed by the pause instead of the handler. A file may stay.
void DeleteWithRetries(Engine& engine, const std::u16string& path, bool pause_first) {
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    if (ForceDeleteFile(path)) return;
    HRESULT hr = LastErrorResult();
    if (IsNotFoundResult(hr)) return;
    ReportItemError(engine, UiStringId::kFileDeleteError, path, hr);
    if (pause_first && attempt == 1) {
      PauseBeforeRetry();
      continue;
    }
    if (!IsInUseResult(hr)) continue;
    FileInUseAnswer answer = FileInUse(engine, path, PKG_FILE_OPERATION_DELETE);
    if (answer == PKG_FILE_IN_USE_SKIP || answer == PKG_FILE_IN_USE_ABORT) return;
  }
}

void DeleteEntryFile(Engine& engine, CatalogEntry& entry, bool pause_first) {
  std::u16string path;
  if (FAILED(ExpandEntryProperty(engine, entry, kDst, path))) return;
  DeleteWithRetries(engine, path, pause_first);
}

bool IsExtracted(const CatalogEntry& entry) {
  return entry.EntryType() == kAppFile && IsInstalled(entry) && !entry.TestEntryFlags(kIgnoreBlob);
}

}  // namespace

// A path that does not expand ends the step at once; an unwritten file fails it only at its
// end, so that the other files are still written.
HRESULT ExtractFiles(Engine& engine) {
  HRESULT last_unwritten = S_OK;
  FolderSet folders;
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (IsExtracted(entry)) {
      std::u16string path;
      HRESULT hr = ExpandEntryProperty(engine, entry, kDst, path);
      if (FAILED(hr)) return hr;
      hr = InstallFile(engine, entry, path, folders);
      if (FAILED(hr)) last_unwritten = hr;
    } else if (entry.EntryType() == kRemoveFile && IsInstalled(entry)) {
      DeleteEntryFile(engine, entry, false);
    }
  }
  return last_unwritten;
}

HRESULT RemoveFiles(Engine& engine) {
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    CatalogEntry& entry = *engine.package->GetEntry(index);
    if (entry.EntryType() == kAppFile && IsRemoved(engine, entry)) {
      DeleteEntryFile(engine, entry, true);
    }
  }
  return S_OK;
}

}  // namespace stowkit
