// Contents: AppFile entries that have some, blobs that pass their CRC, and registry texts
// whose every line parses and expands.
#include "engine/package_registry_text.h"
#include "lint_rules.h"
#include "pack_tool.h"
#include "package/extract.h"
#include "package/vocabulary.h"
#include "registry_lines.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

constexpr uint32_t kLargestRegistryText = 16u << 20;

// True when it found the entry without the content a file should have.
bool CheckAppFileContent(LintContext& lint, int index, const CatalogEntry& entry) {
  if (entry.EntryType() != kAppFile || lint.package.TestFlags(kRemove)) return false;
  if (entry.TestEntryFlags(kIgnoreBlob)) {
    lint.Add("missing-content", index, "is marked IgnoreBlob: the install skips it and writes no file");
  } else if (entry.BlobLength() == 0 && entry.FinalSize() != 0) {
    lint.Add("missing-content", index, "stores no content for a file of " +
                                           std::to_string(entry.FinalSize()) + " bytes");
  } else {
    return false;
  }
  return true;
}

// The check of `stowkit-pack verify`, for every entry whose blob the installer reads. False
// when the content is damaged, so nothing reads it further.
bool CheckBlob(LintContext& lint, int index, const CatalogEntry& entry, bool reported_missing) {
  if (entry.TestEntryFlags(kIgnoreBlob)) return true;
  uint64_t size = 0;
  HRESULT hr = VerifyEntryBlob(entry, &size);
  if (SUCCEEDED(hr)) return true;
  // An AppFile without content and with a size has been named missing-content already.
  if (!(reported_missing && hr == kSizeMismatch)) {
    lint.Add("bad-blob", index, "its content fails the check: " + BlobFailure(entry, hr, size));
  }
  return false;
}

void CheckRegistryLine(LintContext& lint, int index, size_t number, const std::u16string& line) {
  std::string at = "line " + std::to_string(number) + " ";
  RegistryLine parsed;
  if (!ParseRegistryLine(line, parsed)) {
    lint.Add("bad-registry-line", index, at + "does not parse as ROOT, KEY, TYPE (0 or 1), NAME, DATA, "
                                         "INSTALL RULE, REMOVAL RULE: " + Shown(line));
    return;
  }
  const std::pair<const char*, const std::u16string*> fields[] = {
      {"key", &parsed.key}, {"name", &parsed.name}, {"data", &parsed.data}};
  for (const auto& [field, text] : fields) {
    std::string undefined = UndefinedReferences(lint, *text);
    if (!undefined.empty()) lint.Add("undefined-macro", index, at + field + " " + Shown(*text) + " refers to " + undefined);
  }
}

void CheckRegistryText(LintContext& lint, int index, const CatalogEntry& entry) {
  std::string text;
  HRESULT hr = ReadEntryContent(entry, text, kLargestRegistryText);
  if (FAILED(hr)) {
    lint.Add("bad-registry-line", index, "its registry text cannot be read: " + Reason(hr));
    return;
  }
  std::vector<std::u16string> lines = tool::RegistryTextLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (IsRegistryValueLine(lines[i])) CheckRegistryLine(lint, index, i + 1, lines[i]);
  }
}

}  // namespace

void LintContents(LintContext& lint) {
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    const CatalogEntry& entry = *lint.package.GetEntry(i);
    bool missing = CheckAppFileContent(lint, i, entry);
    if (CheckBlob(lint, i, entry, missing) && entry.EntryType() == kRegistry &&
        !entry.TestEntryFlags(kIgnoreBlob)) {
      CheckRegistryText(lint, i, entry);
    }
  }
}

}  // namespace stowkit::pack_tool
