// The registry steps: the texts of the Registry entries are joined into one working file in
// the work folder, which is then read line by line (forwards to merge, backwards to remove)
// and deleted on every path.
#include <string>

#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/package_registry_text.h"
#include "engine/removal_rule.h"
#include "engine/status_reporter.h"
#include "package/extract.h"
#include "package/line_reader.h"
#include "package/vocabulary.h"
#include "resources/ui_strings.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/platform_services.h"
#include "services/registry_services.h"
#include "text/format.h"

namespace stowkit {
namespace {


using EntryFilter = bool (*)(const Engine& engine, const CatalogEntry& entry);

bool IsMergeEntry(const Engine&, const CatalogEntry& entry) {
  return entry.TestEntryFlags(kShouldInstall) != 0;
}

bool IsRemovalEntry(const Engine& engine, const CatalogEntry& entry) {
  return ShouldRemoveEntry(engine.mode, entry.EntryFlags());
}

std::u16string WorkingFilePath(const Engine& engine) {
  return Format(u"%s\\%s.registry", engine.work_folder, engine.application_name);
}

// Registry entries that `takes` and that carry a text. An empty text that was stored has no
// blob at all, so there is nothing to extract and nothing to fail on.
bool HasText(const Engine& engine, const CatalogEntry& entry, EntryFilter takes) {
  return entry.EntryType() == kRegistry && !entry.TestEntryFlags(kIgnoreBlob) &&
         entry.BlobLength() != 0 && takes(engine, entry);
}

// A text without a final line feed would glue its last line to the next text's first.
HRESULT EndWithLineFeed(const std::u16string& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorResult();
  char last = '\n';
  DWORD count = 0;
  bool ok = GetFileSize(file, nullptr) == 0 ||
            (SetFilePointer(file, -1, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
             ReadFile(file, &last, 1, &count, nullptr));
  if (ok && last != '\n') ok = WriteFile(file, "\n", 1, &count, nullptr) && count == 1;
  HRESULT hr = ok ? S_OK : LastErrorResult();
  CloseHandle(file);
  return hr;
}

// Replaces any old working file by the texts of the Registry entries that `takes`, in
// catalog order; `gathered` counts them. On failure the working file is gone.
HRESULT GatherTexts(Engine& engine, const std::u16string& path, EntryFilter takes,
                    int& gathered) {
  ForceDeleteFile(path);
  gathered = 0;
  for (int index = 0; index < engine.package->NumEntries(); ++index) {
    const CatalogEntry& entry = *engine.package->GetEntry(index);
    if (!HasText(engine, entry, takes)) continue;
    HRESULT hr = AppendEntryBlob(entry, Format(u"%s.%d", path, index), path);
    if (SUCCEEDED(hr)) hr = EndWithLineFeed(path);
    if (FAILED(hr)) {
      engine.ReportError(
          Format(u"Error extracting registry entry to %s, hr = 0x%x", path, uint32_t(hr)));
      ForceDeleteFile(path);
      return hr;
    }
    ++gathered;
  }
  return S_OK;
}

template <typename Reader>
HRESULT OpenWorkingFile(Engine& engine, Reader& reader, const std::u16string& path) {
  HRESULT hr = reader.Open(path);
  if (FAILED(hr)) {
    engine.ReportError(Format(u"Error opening registry file %s, hr = 0x%x", path, uint32_t(hr)));
  }
  return hr;
}

HRESULT ReportBadLine(Engine& engine, std::u16string_view line) {
  engine.ReportError(Format(u"Error parsing registry file: line = %s", line));
  return kGenericFailure;
}

// Expands in place; a failure leaves its message in the last error text and reports it.
HRESULT Expand(Engine& engine, std::u16string& text) {
  HRESULT hr = ExpandMacros(engine.macros, text, engine.last_error_text);
  if (FAILED(hr)) report::Detail(engine.last_error_text);
  return hr;
}

// Writes the value under the line's install rule; `shown` names it in the messages.
HRESULT WriteValue(Engine& engine, const RegistryLine& value) {
  std::u16string shown;
  int written = 0;
  if (value.is_number) {
    uint32_t number = RegistryNumber(value.data);
    shown = Format(u"%s, %s, 0x%x", value.key, value.name, number);
    report::Detail(shown);
    written = SetRegDword(value.root, value.key, value.name, number, value.flags);
  } else {
    shown = Format(u"%s, %s, \"%s\"", value.key, value.name, value.data);
    report::Detail(shown);
    written = SetRegString(value.root, value.key, value.name, value.data, value.flags);
  }
  if (written) return S_OK;
  // NOTE: a write that failed without saying why still fails; it is never taken for success.
  HRESULT hr = LastErrorResult();
  engine.ReportError(
      Format(LoadUiString(UiStringId::kValueWriteError), shown, ErrorText(uint32_t(hr))));
  return hr;
}

HRESULT MergeLine(Engine& engine, std::u16string_view line) {
  RegistryLine value;
  if (!ParseRegistryLine(line, value)) return ReportBadLine(engine, line);
  HRESULT hr = Expand(engine, value.key);
  if (SUCCEEDED(hr)) hr = Expand(engine, value.name);
  if (FAILED(hr)) return hr;
  // Data that does not expand is reported but written as far as it expanded.
  Expand(engine, value.data);
  return WriteValue(engine, value);
}

// Values written are kept whatever comes after them, so a commit that fails loses them all:
// that fails the step.
HRESULT CommitValues(Engine& engine, RegistryBatch& batch) {
  if (batch.End()) return S_OK;
  HRESULT hr = LastErrorResult();
  engine.ReportError(Format(u"Error saving registry values: %s", ErrorText(uint32_t(hr))));
  return hr;
}

// One registry commit for all the lines: no other process runs meanwhile.
HRESULT MergeLines(Engine& engine, const std::u16string& path) {
  MappedLineReader reader;
  HRESULT hr = OpenWorkingFile(engine, reader, path);
  RegistryBatch batch;
  std::u16string line;
  while (SUCCEEDED(hr) && reader.NextLine(line)) {
    if (IsRegistryValueLine(line)) hr = MergeLine(engine, line);
  }
  HRESULT committed = CommitValues(engine, batch);
  if (FAILED(hr)) return hr;
  return FAILED(committed) ? committed : S_OK;
}

// Deletes the line's value, and the keys that this leaves empty, unless its removal rule
// keeps it. The install rule plays no part: whatever wrote the value, removal deletes it.
// A delete that fails is reported (a value or key already gone is not) and gives S_FALSE.
HRESULT RemoveLine(Engine& engine, std::u16string_view line) {
  RegistryLine value;
  if (!ParseRegistryLine(line, value)) return ReportBadLine(engine, line);
  HRESULT hr = ExpandMacros(engine.macros, value.key, engine.last_error_text);
  if (SUCCEEDED(hr)) hr = ExpandMacros(engine.macros, value.name, engine.last_error_text);
  std::u16string shown = Format(u"%s, %s", value.key, value.name);
  report::Detail(shown);
  if (FAILED(hr)) {
    report::Detail(engine.last_error_text);
    return hr;
  }
  if (value.flags & kRegNoRemove) return S_OK;
  if (DeleteRegValue(value.root, value.key, value.name, kRegDefaultFlags)) return S_OK;
  HRESULT cause = LastErrorResult();
  if (cause != HResultFromError(ERROR_FILE_NOT_FOUND) &&
      cause != HResultFromError(ERROR_PATH_NOT_FOUND)) {
    engine.ReportError(
        Format(LoadUiString(UiStringId::kValueDeleteError), shown, ErrorText(uint32_t(cause))));
  }
  return S_FALSE;
}

// Every line is handled whatever became of the others, the last line of the text first.
// The step's result is that of the last line handled, the text's first: a bad line further
// down is reported but does not fail the removal, which goes on taking what it can.
// A commit that fails keeps every value: reported, and the step's result is that of a
// failed delete.
HRESULT RemoveLines(Engine& engine, const std::u16string& path) {
  ReverseMappedLineReader reader;
  HRESULT hr = OpenWorkingFile(engine, reader, path);
  if (FAILED(hr)) return hr;
  hr = S_OK;
  RegistryBatch batch;
  std::u16string line;
  while (reader.PreviousLine(line)) {
    if (IsRegistryValueLine(line)) hr = RemoveLine(engine, line);
  }
  return FAILED(CommitValues(engine, batch)) && SUCCEEDED(hr) ? S_FALSE : hr;
}

}  // namespace

HRESULT MergeRegistry(Engine& engine) {
  std::u16string path = WorkingFilePath(engine);
  int gathered = 0;
  HRESULT hr = GatherTexts(engine, path, IsMergeEntry, gathered);
  if (FAILED(hr) || gathered == 0) return hr;
  hr = MergeLines(engine, path);
  ForceDeleteFile(path);
  return hr;
}

HRESULT RemoveRegistryValues(Engine& engine) {
  std::u16string path = WorkingFilePath(engine);
  int gathered = 0;
  HRESULT hr = GatherTexts(engine, path, IsRemovalEntry, gathered);
  if (FAILED(hr) || gathered == 0) return hr;
  hr = RemoveLines(engine, path);
  ForceDeleteFile(path);
  return hr;
}

}  // namespace stowkit
