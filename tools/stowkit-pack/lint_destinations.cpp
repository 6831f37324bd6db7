// Names and destinations: present where needed, expandable, short enough, and not shared by
// two entries that can be installed together.
#include <algorithm>
#include <unordered_set>

#include "engine/macro_sources.h"
#include "lint_rules.h"
#include "pack_tool.h"
#include "package/vocabulary.h"
#include "text/fold.h"
#include "text/trim.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

constexpr size_t kLongestPath = MAX_PATH - 1;
constexpr int kCarriedMacros = kFirstMemoryOnlyId - kFirstMacroId;

// The property an entry of this type cannot do without; 0 for none.
uint8_t NeededProperty(uint8_t type) {
  switch (type) {
    case kAppFile:
    case kFolder:
    case kRemoveFolder:
    case kRemoveFile:
    case kAppCleanup:
    case kSupportFile:
    case kCustomDll: return kDst;
    case kShortcut:
    case kRemoveShortcut: return kLinkName;
    default: return 0;
  }
}

// The properties the installer expands before use.
std::vector<uint8_t> ExpandedProperties(uint8_t type) {
  switch (type) {
    case kAppFile:
    case kFolder:
    case kRemoveFolder:
    case kRemoveFile:
    case kAppCleanup: return {kDst};
    case kShortcut:
    case kRemoveShortcut: return {kLinkName, kLinkTarget, kLinkArgs, kLinkIcon};
    default: return {};
  }
}

std::u16string Property(const CatalogEntry& entry, uint8_t id) {
  std::u16string value;
  entry.GetProperty(id, value);
  return value;
}

std::string PropertyName(uint8_t id) { return Utf16ToUtf8(EntryPropertyName(id)); }

std::u16string Expanded(const LintContext& lint, std::u16string text) {
  std::u16string ignored;
  ExpandMacros(lint.macros, text, ignored);
  return text;
}

bool EndsWithLnk(const std::u16string& path) {
  return path.size() >= 4 && EqualsNoCase(std::u16string_view(path).substr(path.size() - 4), u".lnk");
}

// The paths an entry puts on (or takes off) the device, expanded.
std::vector<std::u16string> Paths(const LintContext& lint, const CatalogEntry& entry) {
  uint8_t type = entry.EntryType();
  if (type == kAppCleanup) {
    std::vector<std::u16string> paths;
    for (const std::u16string& item : SplitPropertyList(Property(entry, kDst))) {
      paths.push_back(Expanded(lint, item));
    }
    return paths;
  }
  if (type == kShortcut || type == kRemoveShortcut) {
    std::u16string link = Expanded(lint, Property(entry, kLinkName));
    return {EndsWithLnk(link) ? link : link + u".lnk"};  // as the shortcut service names it
  }
  if (type == kAppFile || type == kFolder || type == kRemoveFile || type == kRemoveFolder) {
    return {Expanded(lint, Property(entry, kDst))};
  }
  return {};
}

void CheckNames(LintContext& lint, int index, const CatalogEntry& entry) {
  uint8_t needed = NeededProperty(entry.EntryType());
  if (needed != 0 && TrimBlanks(Property(entry, needed)).empty()) {
    lint.Add("missing-name", index, "has no \"" + PropertyName(needed) + "\"");
  }
  if (entry.EntryType() == kShortcut && TrimBlanks(Property(entry, kLinkTarget)).empty()) {
    lint.Add("missing-name", index, "has no \"LinkTarget\": the shortcut would lead nowhere");
  }
}

// The destinations an entry names as the package has them, before expansion.
std::vector<std::u16string> WrittenDestinations(const CatalogEntry& entry) {
  uint8_t type = entry.EntryType();
  uint8_t id = NeededProperty(type);
  if (id == 0 || type == kSupportFile || type == kCustomDll) return {};  // names, not paths
  std::u16string text = Property(entry, id);
  if (type == kAppCleanup) return SplitPropertyList(text);
  return {text};
}

// The installer takes a path that does not begin with "\" from the root: "%InstallDir%\x"
// lands in a folder named "\%InstallDir%". A leading macro is left to undefined-macro and
// to its value.
void CheckDevicePaths(LintContext& lint, int index, const CatalogEntry& entry) {
  uint8_t id = NeededProperty(entry.EntryType());
  for (const std::u16string& written : WrittenDestinations(entry)) {
    std::u16string_view path = TrimBlanks(written);
    if (path.empty() || path.starts_with(u'\\') || path.starts_with(u"$(")) continue;
    lint.Add("not-a-device-path", index,
             PropertyName(id) + " " + Shown(written) + " begins with neither \\ nor a macro: it "
             "installs as " + Shown(u"\\" + std::u16string(path)));
  }
}

void CheckExpansion(LintContext& lint, int index, const CatalogEntry& entry) {
  for (uint8_t id : ExpandedProperties(entry.EntryType())) {
    std::u16string text;
    if (!entry.GetProperty(id, text)) continue;
    std::string undefined = UndefinedReferences(lint, text);
    if (!undefined.empty()) {
      lint.Add("undefined-macro", index, PropertyName(id) + " " + Shown(text) + " refers to " + undefined);
    }
  }
  for (const std::u16string& path : Paths(lint, entry)) {
    if (path.size() > kLongestPath) {
      lint.Add("long-path", index, Shown(path) + " has " + std::to_string(path.size()) +
                                       " characters on a Pocket PC; the device takes at most " +
                                       std::to_string(kLongestPath));
    }
  }
}

bool Contradict(const std::u16string& a, const std::u16string& b) {
  auto negated = [](const std::u16string& item) { return !item.empty() && item[0] == u'!'; };
  if (negated(a) == negated(b)) return false;
  std::u16string_view plain_a = TrimBlanks(std::u16string_view(a).substr(negated(a)));
  std::u16string_view plain_b = TrimBlanks(std::u16string_view(b).substr(negated(b)));
  return EqualsNoCase(plain_a, plain_b);
}

// True when no choice of features and languages installs both entries: every feature item
// of one contradicts every item of the other ("Help" and "!Help"), or they are for
// different languages.
bool Exclusive(const CatalogEntry& a, const CatalogEntry& b) {
  StringList features_a = SplitPropertyList(Property(a, kFeatures));
  StringList features_b = SplitPropertyList(Property(b, kFeatures));
  bool all_contradict = !features_a.empty() && !features_b.empty();
  for (const std::u16string& x : features_a) {
    for (const std::u16string& y : features_b) all_contradict = all_contradict && Contradict(x, y);
  }
  if (all_contradict) return true;
  StringList languages_a = SplitPropertyList(Property(a, kLang));
  StringList languages_b = SplitPropertyList(Property(b, kLang));
  if (languages_a.empty() || languages_b.empty()) return false;
  for (const std::u16string& x : languages_a) {
    for (const std::u16string& y : languages_b) {
      if (EqualsNoCase(x, y)) return false;
    }
  }
  return true;
}

// What an entry places, for comparing destinations: files (AppFile, Shortcut), folders and
// support files each among themselves.
int PlacedKind(uint8_t type) {
  switch (type) {
    case kAppFile:
    case kShortcut: return 1;
    case kFolder: return 2;
    case kSupportFile: return 3;
    default: return 0;
  }
}

// The path an entry of a placing kind writes, folded for comparing.
std::u16string PlacedPath(const LintContext& lint, const CatalogEntry& entry, int kind) {
  return UpperCase(kind == 3 ? Property(entry, kDst) : Paths(lint, entry).front());
}

// Each entry's path is kept as a hash with its index, not as text: on a package of a
// million files the paths would cost more than the package itself. Entries whose hashes
// agree are compared by their paths, the earlier ones in catalog order, so the first that
// is not exclusive is the one a scan would find.
void CheckDuplicates(LintContext& lint) {
  struct Placed {
    size_t hash;
    int index;
    bool operator<(const Placed& other) const {
      return hash != other.hash ? hash < other.hash : index < other.index;
    }
  };
  std::vector<Placed> placed[4];
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    const CatalogEntry& entry = *lint.package.GetEntry(i);
    int kind = PlacedKind(entry.EntryType());
    // Without a name there is nothing to compare: missing-name says so.
    if (kind == 0 || TrimBlanks(Property(entry, NeededProperty(entry.EntryType()))).empty()) continue;
    placed[kind].push_back({std::hash<std::u16string>()(PlacedPath(lint, entry, kind)), i});
  }
  std::vector<std::pair<int, int>> found;  // (entry, the earlier one it writes over)
  for (int kind = 1; kind < 4; ++kind) {
    std::vector<Placed>& all = placed[kind];
    std::sort(all.begin(), all.end());
    for (size_t first = 0, last = 0; first < all.size(); first = last) {
      while (last < all.size() && all[last].hash == all[first].hash) ++last;
      for (size_t n = first + 1; n < last; ++n) {
        const CatalogEntry& entry = *lint.package.GetEntry(all[n].index);
        std::u16string path = PlacedPath(lint, entry, kind);
        for (size_t m = first; m < n; ++m) {
          const CatalogEntry& earlier = *lint.package.GetEntry(all[m].index);
          if (PlacedPath(lint, earlier, kind) == path && !Exclusive(earlier, entry)) {
            found.emplace_back(all[n].index, all[m].index);
            break;
          }
        }
      }
    }
  }
  std::sort(found.begin(), found.end());
  for (const auto& [index, earlier] : found) {
    const CatalogEntry& entry = *lint.package.GetEntry(index);
    int kind = PlacedKind(entry.EntryType());
    std::u16string path = kind == 3 ? Property(entry, kDst) : Paths(lint, entry).front();
    lint.Add("duplicate-destination", index,
             Shown(path) + " is also written by " + EntryLabel(earlier, lint.package.GetEntry(earlier)->EntryType()));
  }
}

// Folders a fresh device has, which a removal is not expected to take away: the root, the
// device folders of the macros with the folders above them, and the temporary folder.
std::vector<std::u16string> DeviceFolders() {
  MacroTable table;
  SetDeviceFolderMacros(table);
  std::vector<std::u16string> folders = {u"", u"\\Temp"};
  for (const auto& [key, value] : table) {
    std::u16string folder = value;
    while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
    for (size_t cut = folder.size(); cut != std::u16string::npos && cut > 0;
         cut = folder.rfind(u'\\', cut - 1)) {
      folders.push_back(folder.substr(0, cut));
    }
  }
  return folders;
}

bool Within(const std::vector<std::u16string>& folders, std::u16string_view folder) {
  return std::any_of(folders.begin(), folders.end(),
                     [&](const std::u16string& known) { return EqualsNoCase(known, folder); });
}

// True when `folder` is one of `tops` (folded) or lies below one of them.
bool Below(std::u16string_view folder, const std::unordered_set<std::u16string>& tops) {
  std::u16string folded = UpperCase(folder);
  for (size_t cut = 1; cut <= folded.size(); ++cut) {
    if ((cut == folded.size() || folded[cut] == u'\\') && tops.count(folded.substr(0, cut))) return true;
  }
  return false;
}

// A removal deletes the files it installed and the folders of Folder entries with the empty
// folders below them: the folder of a file outside all of those stays behind, unless it is
// one of the device's own.
void CheckLeftFolders(LintContext& lint) {
  if (lint.package.TestFlags(kRemove)) return;
  std::vector<std::u16string> device = DeviceFolders();
  std::vector<std::u16string> made;
  // The work folder goes at the end of every run, with whatever is in it.
  std::u16string support;
  if (lint.macros.GetMacro(u"SUPPORTDIR", support)) made.push_back(support);
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    const CatalogEntry& entry = *lint.package.GetEntry(i);
    if (entry.EntryType() == kFolder) made.push_back(Paths(lint, entry).front());
  }
  std::unordered_set<std::u16string> tops;
  for (std::u16string& folder : made) {
    while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
    if (!folder.empty()) tops.insert(UpperCase(folder));
  }
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    const CatalogEntry& entry = *lint.package.GetEntry(i);
    std::u16string dst = Property(entry, kDst);
    // Without a usable device path, or kept on purpose, there is nothing for this rule to
    // say; the other rules speak of the path.
    if (entry.EntryType() != kAppFile || entry.TestEntryFlags(kEntryNoRemove) ||
        TrimBlanks(dst).empty() || !UndefinedReferences(lint, dst).empty()) {
      continue;
    }
    std::u16string path = Expanded(lint, dst);
    if (!path.starts_with(u'\\')) continue;
    std::u16string folder = path.substr(0, path.rfind(u'\\'));
    if (Below(folder, tops) || Within(device, folder)) continue;
    lint.Add("folder-left-behind", i,
             "installs into " + Shown(folder) + ", which is in no folder a Folder entry makes: "
             "removal leaves the folder behind");
  }
}

void CheckMacroCount(LintContext& lint) {
  int carried = lint.macros.Count() - 1;  // all but SUPPORTDIR, which belongs to one run
  if (carried <= kCarriedMacros) return;
  lint.Add("too-many-macros", -1,
           std::to_string(carried) + " macro definitions with the device folders, LANG and USERNAME; the "
           "uninstall package carries " + std::to_string(kCarriedMacros) + ", so a removal would miss " +
           std::to_string(carried - kCarriedMacros));
}

}  // namespace

void LintDestinations(LintContext& lint) {
  for (int i = 0; i < lint.package.NumEntries(); ++i) {
    const CatalogEntry& entry = *lint.package.GetEntry(i);
    CheckNames(lint, i, entry);
    CheckDevicePaths(lint, i, entry);
    CheckExpansion(lint, i, entry);
  }
  CheckDuplicates(lint);
  CheckLeftFolders(lint);
  CheckMacroCount(lint);
}

}  // namespace stowkit::pack_tool
