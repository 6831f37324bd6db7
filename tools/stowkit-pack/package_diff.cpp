#include "package_diff.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "engine/macro_table.h"
#include "package/extract.h"
#include "package/vocabulary.h"
#include "registry_lines.h"
#include "services/registry_services.h"
#include "text/fold.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

using Text = std::optional<std::string>;

constexpr uint32_t kLargestRegistryText = 16u << 20;
constexpr size_t kLongestLineDiff = 2000;  // lines per text; a longer pair is only "changed"

std::string U8(std::u16string_view text) { return Utf16ToUtf8(text); }

void Compare(std::vector<FieldChange>& changes, std::string field, const Text& a, const Text& b) {
  if (a != b) changes.push_back({std::move(field), a, b, true});
}

// A field that is no text of the package's own: flags, versions, sizes.
void CompareFact(std::vector<FieldChange>& changes, std::string field, const Text& a, const Text& b) {
  if (a != b) changes.push_back({std::move(field), a, b, false});
}

std::string FlagsText(uint8_t bits, const std::u16string& names) {
  return U8(Format(u"0x%02x", bits)) + (names.empty() ? "" : " (" + U8(names.substr(1)) + ")");
}

std::string VersionText(uint32_t v) {
  return U8(Format(u"%d.%d.%d.%d", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
}

void DiffHeader(const Package& a, const Package& b, PackageDiff& diff) {
  const PackageHeader &x = a.Header(), &y = b.Header();
  CompareFact(diff.header, "Flags", FlagsText(x.Flags, PackageFlagsText(x.Flags)),
          FlagsText(y.Flags, PackageFlagsText(y.Flags)));
  CompareFact(diff.header, "Platform", U8(Format(u"0x%02x", x.Platform)), U8(Format(u"0x%02x", y.Platform)));
  CompareFact(diff.header, "Version", VersionText(x.Version), VersionText(y.Version));
}

// The union of two property maps' ids, each compared.
template <typename Naming>
void DiffProperties(const PropertyMap& a, const PropertyMap& b, Naming name, std::vector<FieldChange>& changes) {
  std::map<uint8_t, std::pair<Text, Text>> values;
  for (const auto& [id, value] : a) values[id].first = U8(value);
  for (const auto& [id, value] : b) values[id].second = U8(value);
  for (const auto& [id, pair] : values) Compare(changes, U8(name(id)), pair.first, pair.second);
}

// A MacroDefs entry's definitions by their normalized names.
std::map<std::u16string, std::u16string> Definitions(const CatalogEntry& entry) {
  std::map<std::u16string, std::u16string> definitions;
  for (const auto& [id, text] : entry.Properties()) {
    if (id < kFirstMacroId) continue;
    std::u16string name, value;
    SplitNameValue(text, name, value);
    definitions[NormalizeMacroKey(name)] = value;
  }
  return definitions;
}

void DiffDefinitions(const CatalogEntry& a, const CatalogEntry& b, std::vector<FieldChange>& changes) {
  std::map<std::u16string, std::pair<Text, Text>> values;
  for (const auto& [name, value] : Definitions(a)) values[name].first = U8(value);
  for (const auto& [name, value] : Definitions(b)) values[name].second = U8(value);
  for (const auto& [name, pair] : values) Compare(changes, "macro " + U8(name), pair.first, pair.second);
}

Text ContentText(const CatalogEntry& entry) {
  if (entry.TestEntryFlags(kIgnoreBlob)) return std::nullopt;
  return std::to_string(entry.FinalSize()) + " bytes, crc " + U8(Format(u"0x%08x", entry.FinalCRC()));
}

std::vector<std::string> TextLines(const CatalogEntry& entry) {
  std::string content;
  std::vector<std::string> lines;
  if (entry.TestEntryFlags(kIgnoreBlob) || FAILED(ReadEntryContent(entry, content, kLargestRegistryText))) {
    return lines;
  }
  for (const std::u16string& line : tool::RegistryTextLines(content)) lines.push_back(U8(line));
  return lines;
}

// The lines only in `a` and only in `b`, in order, from their longest common subsequence.
void DiffLines(const std::vector<std::string>& a, const std::vector<std::string>& b, EntryChange& change) {
  size_t n = a.size(), m = b.size();
  std::vector<uint32_t> common((n + 1) * (m + 1), 0);  // common[i][j]: LCS of a[i..] and b[j..]
  auto at = [m](size_t i, size_t j) { return i * (m + 1) + j; };
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      common[at(i, j)] = a[i] == b[j] ? common[at(i + 1, j + 1)] + 1
                                      : std::max(common[at(i + 1, j)], common[at(i, j + 1)]);
    }
  }
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) {
      ++i, ++j;
    } else if (j == m || (i < n && common[at(i + 1, j)] >= common[at(i, j + 1)])) {
      change.lines.push_back({'-', i + 1, a[i]}), ++i;
    } else {
      change.lines.push_back({'+', j + 1, b[j]}), ++j;
    }
  }
}

void DiffContent(const CatalogEntry& a, const CatalogEntry& b, EntryChange& change) {
  Text before = ContentText(a), after = ContentText(b);
  if (before == after) return;
  if (a.EntryType() != kRegistry) return CompareFact(change.fields, "content", before, after);
  std::vector<std::string> lines_a = TextLines(a), lines_b = TextLines(b);
  if (lines_a.size() > kLongestLineDiff || lines_b.size() > kLongestLineDiff) {
    return CompareFact(change.fields, "content", before, after);
  }
  DiffLines(lines_a, lines_b, change);
  if (change.lines.empty()) CompareFact(change.fields, "content", before, after);  // blanks or line ends
}

EntryChange DiffEntry(const CatalogEntry& a, int a_index, const CatalogEntry& b, int b_index,
                      const std::string& destination) {
  EntryChange change{EntryChange::kChanged, U8(EntryTypeText(a.EntryType())), destination, a_index, b_index, {}, {}};
  CompareFact(change.fields, "entry flags", FlagsText(a.EntryFlags(), EntryFlagsText(a.EntryFlags())),
          FlagsText(b.EntryFlags(), EntryFlagsText(b.EntryFlags())));
  CompareFact(change.fields, "type flags", FlagsText(a.TypeFlags(), TypeFlagsText(a.EntryType(), a.TypeFlags())),
          FlagsText(b.TypeFlags(), TypeFlagsText(b.EntryType(), b.TypeFlags())));
  if (a.EntryType() == kMacroDefs) {
    DiffDefinitions(a, b, change.fields);
  } else {
    DiffProperties(a.Properties(), b.Properties(), EntryPropertyName, change.fields);
  }
  DiffContent(a, b, change);
  return change;
}

std::u16string Destination(const CatalogEntry& entry) {
  std::u16string text;
  uint8_t type = entry.EntryType();
  entry.GetProperty(type == kShortcut || type == kRemoveShortcut ? kLinkName : kDst, text);
  return text;
}

// Each entry's key, its type and folded destination, with the catalog indexes of every key
// in catalog order: the n-th entry of a key in one package goes with the n-th in the other.
struct KeyedEntries {
  std::vector<std::u16string> keys;   // by catalog index
  std::vector<size_t> occurrences;    // by catalog index: how many of its key come before it
  std::unordered_map<std::u16string, std::vector<int>> indexes;
};

KeyedEntries KeyEntries(const Package& package) {
  KeyedEntries keyed;
  for (int i = 0; i < package.NumEntries(); ++i) {
    const CatalogEntry& entry = *package.GetEntry(i);
    std::u16string key = char16_t(entry.EntryType()) + UpperCase(Destination(entry));
    std::vector<int>& indexes = keyed.indexes[key];
    keyed.occurrences.push_back(indexes.size());
    indexes.push_back(i);
    keyed.keys.push_back(std::move(key));
  }
  return keyed;
}

// The catalog index in `other` of the entry that goes with entry `index` of `keyed`; -1
// when there is none.
int Match(const KeyedEntries& keyed, int index, const KeyedEntries& other) {
  auto match = other.indexes.find(keyed.keys[index]);
  size_t occurrence = keyed.occurrences[index];
  return match != other.indexes.end() && occurrence < match->second.size() ? match->second[occurrence] : -1;
}

EntryChange Unmatched(EntryChange::Kind kind, const Package& package, int index) {
  const CatalogEntry& entry = *package.GetEntry(index);
  EntryChange change{kind, U8(EntryTypeText(entry.EntryType())), U8(Destination(entry)), -1, -1, {}, {}};
  (kind == EntryChange::kAdded ? change.b_index : change.a_index) = index;
  return change;
}

void DiffEntries(const Package& a, const Package& b, PackageDiff& diff) {
  KeyedEntries in_a = KeyEntries(a), in_b = KeyEntries(b);
  for (int index = 0; index < a.NumEntries(); ++index) {
    int match = Match(in_a, index, in_b);
    if (match < 0) {
      diff.entries.push_back(Unmatched(EntryChange::kRemoved, a, index));
      continue;
    }
    EntryChange change = DiffEntry(*a.GetEntry(index), index, *b.GetEntry(match), match,
                                   U8(Destination(*a.GetEntry(index))));
    if (!change.fields.empty() || !change.lines.empty()) diff.entries.push_back(std::move(change));
  }
  for (int index = 0; index < b.NumEntries(); ++index) {
    if (Match(in_b, index, in_a) < 0) diff.entries.push_back(Unmatched(EntryChange::kAdded, b, index));
  }
  // In catalog order: A's position for what A has, else B's.
  std::stable_sort(diff.entries.begin(), diff.entries.end(), [](const EntryChange& x, const EntryChange& y) {
    int px = x.a_index >= 0 ? x.a_index : x.b_index, py = y.a_index >= 0 ? y.a_index : y.b_index;
    return px < py;
  });
}

}  // namespace

PackageDiff DiffPackages(const Package& a, const Package& b) {
  PackageDiff diff;
  DiffHeader(a, b, diff);
  DiffProperties(a.Properties(), b.Properties(), PackagePropertyName, diff.properties);
  DiffEntries(a, b, diff);
  return diff;
}

}  // namespace stowkit::pack_tool
