#include "package_marks.h"

#include <memory>

#include "engine/default_log_path.h"
#include "engine/macro_sources.h"
#include "engine/package_registry_text.h"
#include "engine/run_mode.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "registry_lines.h"
#include "registry_reading.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "text/fold.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

constexpr uint32_t kLargestRegistryText = 16u << 20;

std::u16string Expanded(const MacroTable& macros, std::u16string text) {
  std::u16string ignored;
  ExpandMacros(macros, text, ignored);  // a reference left as written can match nothing
  return text;
}

std::u16string RootFullName(HKEY root) {
  for (const RootKey& known : kRootKeys) {
    if (known.handle == root) return std::u16string(known.name);
  }
  return u"";
}

bool EndsWithLnk(const std::u16string& path) {
  return path.size() >= 4 && EqualsNoCase(std::u16string_view(path).substr(path.size() - 4), u".lnk");
}

// Adds the folded path or key `folded` and each folder or key above it to `set`:
// "\A\B\C", "\A\B" and "\A".
void AddWithParents(const std::u16string& folded, std::unordered_set<std::u16string>& set) {
  for (size_t end = folded.size(); end != std::u16string::npos && end > 0; end = folded.rfind(u'\\', end - 1)) {
    set.insert(folded.substr(0, end));
  }
}

// The file, folder or shortcut that a "NoRemove" entry puts on the device.
void AddKeptPath(const CatalogEntry& entry, const MacroTable& macros, PackageMarks& marks) {
  std::u16string path;
  uint8_t type = entry.EntryType();
  if (type == kAppFile || type == kFolder) {
    entry.GetProperty(kDst, path);
  } else if (type == kShortcut) {
    entry.GetProperty(kLinkName, path);
    path = Expanded(macros, path);
    if (!EndsWithLnk(path)) path += u".lnk";  // as the shortcut service names it
  }
  if (path.empty()) return;
  std::u16string folded = UpperCase(Expanded(macros, path));
  AddWithParents(folded, marks.kept_folders);
  marks.kept_paths.insert(std::move(folded));
}

bool AddKeptValues(const CatalogEntry& entry, int index, const MacroTable& macros,
                   PackageMarks& marks, std::string& error) {
  std::string text;
  HRESULT hr = ReadEntryContent(entry, text, kLargestRegistryText);
  if (FAILED(hr)) {
    error = Utf16ToUtf8(Format(u"cannot read the registry text of entry %d: 0x%x", index + 1, hr));
    return false;
  }
  bool whole_entry = entry.TestEntryFlags(kEntryNoRemove);
  for (const std::u16string& line : tool::RegistryTextLines(text)) {
    RegistryLine parsed;
    if (!IsRegistryValueLine(line) || !ParseRegistryLine(line, parsed)) continue;
    if (!whole_entry && !(parsed.flags & kRegNoRemove)) continue;
    std::u16string key = UpperCase(RootFullName(parsed.root) + u"\\" + Expanded(macros, parsed.key));
    AddWithParents(key, marks.kept_keys);
    marks.kept_values.emplace(std::move(key), UpperCase(Expanded(macros, parsed.name)));
  }
  return true;
}

void AddInstallerFiles(const Package& package, const std::u16string& device_path,
                       const MacroTable& macros, PackageMarks& marks) {
  std::u16string app_manager = Expanded(macros, u"$(WINDIR)\\AppMgr\\");
  marks.installer_files = {
      device_path,
      app_manager + Format(u"%s Remove.exe", marks.application),
      app_manager + Format(u"%s Remove.pkg", marks.application),
      DefaultLogPath(package, marks.application, kModeFullInstall, macros),
      DefaultLogPath(package, marks.application, kModeFullRemove, macros),
  };
}

bool IsAtOrAbove(const std::u16string& outer, const std::u16string& inner) {
  return EqualsNoCase(outer, inner) || IsBelow(inner, outer);
}

// `path` and `name` are the item's, folded.
bool JudgedKept(SnapshotItem::Kind kind, const std::u16string& path, const std::u16string& name,
                const PackageMarks& marks) {
  switch (kind) {
    case SnapshotItem::kFile: return marks.kept_paths.count(path);
    case SnapshotItem::kFolder: return marks.kept_folders.count(path);
    case SnapshotItem::kKey: return marks.kept_keys.count(path);
    case SnapshotItem::kValue: return marks.kept_values.count({path, name});
  }
  return false;
}

bool JudgedArtefact(const SnapshotItem& item, const PackageMarks& marks) {
  static const std::u16string kStoreKey = u"HKEY_LOCAL_MACHINE\\" + std::u16string(kStateKey);
  switch (item.kind) {
    case SnapshotItem::kKey: return IsAtOrAbove(item.path, kStoreKey);
    case SnapshotItem::kValue: return false;
    default: break;
  }
  for (const std::u16string& path : marks.installer_files) {
    if (item.kind == SnapshotItem::kFile ? EqualsNoCase(item.path, path) : IsBelow(path, item.path)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadPackageMarks(const std::u16string& device_path, PackageMarks& marks, std::string& error) {
  std::unique_ptr<Package> package;
  std::u16string error_text;
  HRESULT hr = OpenPackage(error_text, device_path, package);
  if (FAILED(hr)) {
    error = Utf16ToUtf8(error_text);
    return false;
  }
  marks = PackageMarks();
  package->GetProperty(kAppName, marks.application);
  marks.version = package->Header().Version;
  marks.flags = package->Header().Flags;
  MacroTable macros;
  BuildMacroTable(macros, u"", *package, MacroTable());
  AddInstallerFiles(*package, device_path, macros, marks);
  for (int i = 0; i < package->NumEntries(); ++i) {
    const CatalogEntry& entry = *package->GetEntry(i);
    if (entry.TestEntryFlags(kEntryNoRemove)) AddKeptPath(entry, macros, marks);
    if (entry.EntryType() == kRegistry && !entry.TestEntryFlags(kIgnoreBlob) &&
        !AddKeptValues(entry, i, macros, marks, error)) {
      return false;
    }
  }
  return true;
}

ItemVerdict Judge(const SnapshotItem& item, const std::vector<PackageMarks>& packages) {
  for (const PackageMarks& marks : packages) {
    if (JudgedArtefact(item, marks)) return ItemVerdict::kInstallerArtefact;
  }
  std::u16string path = UpperCase(item.path), name = UpperCase(item.name);
  for (const PackageMarks& marks : packages) {
    if (JudgedKept(item.kind, path, name, marks)) return ItemVerdict::kKept;
  }
  return ItemVerdict::kLeftover;
}

}  // namespace stowkit::device_tool
