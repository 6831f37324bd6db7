// Manifest → Package. Every value is checked before anything is written, so a bad manifest
// ends with one line that says where it is wrong and never with a half-built package.
#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <map>

#include "manifest.h"
#include "pack_tool.h"
#include "package/vocabulary.h"
#include "text/utf.h"
#include "text/version.h"

namespace stowkit::pack_tool {
namespace {

using NameLookup = bool (*)(std::u16string_view, uint8_t&);

struct Problem {
  std::string field;
  std::string text;
  toml::source_position at;
};

[[noreturn]] void Fail(const toml::node& node, std::string field, std::string text) {
  throw Problem{std::move(field), std::move(text), node.source().begin};
}

void CheckKeys(const toml::table& table, const std::string& prefix,
               std::initializer_list<std::string_view> known) {
  for (auto&& [key, node] : table) {
    if (std::find(known.begin(), known.end(), key.str()) != known.end()) continue;
    std::string list;
    for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
    Fail(node, prefix + std::string(key.str()), "unknown key (expected one of: " + list + ")");
  }
}

const toml::table& Table(const toml::node& node, const std::string& field) {
  if (!node.is_table()) Fail(node, field, "must be a table");
  return *node.as_table();
}

int64_t Integer(const toml::node& node, const std::string& field, int64_t max) {
  const toml::value<int64_t>* value = node.as_integer();
  if (!value || value->get() < 0 || value->get() > max) {
    Fail(node, field, "must be an integer from 0 to " + std::to_string(max));
  }
  return value->get();
}

std::u16string Text(const toml::node& node, const std::string& field) {
  if (!node.is_string()) Fail(node, field, "must be a string");
  return Utf8ToUtf16(node.as_string()->get());
}

// Flag bits by name, or as integers for the bits that have none.
uint8_t Flags(const toml::node& node, const std::string& field, NameLookup lookup,
              const std::string& kind) {
  const toml::array* array = node.as_array();
  if (!array) Fail(node, field, "must be an array of " + kind + " names or integers");
  uint8_t bits = 0;
  for (const toml::node& item : *array) {
    uint8_t bit = 0;
    if (!item.is_string()) {
      bits |= uint8_t(Integer(item, field, 255));
    } else if (!lookup) {
      Fail(item, field, "names belong to AppFile entries; give the bits of this type as integers");
    } else if (lookup(Text(item, field), bit)) {
      bits |= bit;
    } else {
      Fail(item, field, "unknown " + kind + " '" + item.as_string()->get() + "'");
    }
  }
  return bits;
}

// A property key is a name of the vocabulary, or an id as "27" or "0x1b".
uint8_t PropertyId(std::string_view key, const toml::node& node, const std::string& field,
                   NameLookup lookup) {
  uint8_t id = 0;
  if (lookup(Utf8ToUtf16(key), id)) return id;
  bool hex = key.size() > 2 && key.substr(0, 2) == "0x";
  std::string_view digits = hex ? key.substr(2) : key;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    Fail(node, field, "unknown property name (numbers are written as \"27\" or \"0x1b\")");
  }
  if (value >= kFirstMemoryOnlyId) Fail(node, field, "ids 0x80 and up are never stored in a package");
  return uint8_t(value);
}

void Properties(const toml::node& node, const std::string& field, NameLookup lookup,
                PropertyMap& map) {
  std::map<uint8_t, std::string_view> keys;  // which key gave each id
  for (auto&& [key, value] : Table(node, field)) {
    std::string name = field + "." + std::string(key.str());
    uint8_t id = PropertyId(key.str(), value, name, lookup);
    if (!keys.emplace(id, key.str()).second) {
      Fail(value, name, "names property " + std::to_string(id) + " again (also '" + std::string(keys[id]) + "')");
    }
    std::u16string text = Text(value, name);
    if (text.find(u'\0') != std::u16string::npos) Fail(value, name, "must not hold U+0000");
    map.SetProperty(id, text);
  }
  size_t size = SerializeDescriptor(map, false).size();
  if (size > UINT16_MAX) {
    Fail(node, field, "take " + std::to_string(size) + " bytes; a package stores at most 65535");
  }
}

Version VersionValue(const toml::node& node) {
  std::u16string text = Text(node, "version");
  Version version = ParseVersion(text);
  if (FormatVersion(version) != text) Fail(node, "version", "must be four numbers from 0 to 255, as \"1.2.3.4\"");
  return version;
}

// A refusal is one line, whatever the manifest's keys and the parser's quotes of it hold:
// control characters are written as escapes.
std::string OneLine(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  for (unsigned char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      line += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    } else {
      line += char(c);
    }
  }
  return line;
}

class ManifestReader {
 public:
  ManifestReader(const std::string& path, Package& package) : path_(path), package_(package) {
    size_t slash = path.find_last_of('/');
    folder_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  }

  bool Read(std::string& error) {
    std::string text;
    if (!ReadHostText(path_, text, error)) return false;
    try {
      ReadRoot(toml::parse(text, path_));
      return true;
    } catch (const toml::parse_error& e) {
      error = OneLine(Where(e.source().begin) + std::string(e.description()));
    } catch (const Problem& p) {
      error = OneLine(Where(p.at) + where_ + ": " + p.field + ": " + p.text);
    }
    return false;
  }

 private:
  std::string Where(const toml::source_position& at) const {
    return path_ + ":" + (at ? std::to_string(at.line) + ": " : std::string(" "));
  }

  void ReadRoot(const toml::table& root) {
    where_ = "manifest";
    CheckKeys(root, "", {"package", "entry"});
    if (const toml::node* node = root.get("package")) ReadPackage(Table(*node, "package"));
    const toml::node* entries = root.get("entry");
    if (!entries) return;
    if (!entries->is_array_of_tables()) Fail(*entries, "entry", "must be tables written as [[entry]]");
    int index = 0;
    for (const toml::node& entry : *entries->as_array()) {
      where_ = "entry " + std::to_string(++index);
      package_.InsertEntry(ReadEntry(*entry.as_table(), index - 1), -1);
    }
  }

  void ReadPackage(const toml::table& table) {
    where_ = "package";
    CheckKeys(table, "", {"flags", "platform", "version", "properties"});
    PackageHeader& header = package_.Header();
    if (const toml::node* node = table.get("flags")) {
      header.Flags = Flags(*node, "flags", PackageFlagFromText, "package flag");
    }
    if (const toml::node* node = table.get("platform")) header.Platform = uint8_t(Integer(*node, "platform", 255));
    if (const toml::node* node = table.get("version")) header.Version = VersionValue(*node);
    if (const toml::node* node = table.get("properties")) {
      Properties(*node, "properties", PackagePropertyFromName, package_.Properties());
    }
  }

  std::unique_ptr<CatalogEntry> ReadEntry(const toml::table& table, int index) {
    auto entry = std::make_unique<CatalogEntry>();
    const toml::node* type = table.get("type");
    if (type) {
      entry->SetEntryType(Type(*type));
      where_ = EntryLabel(index, entry->EntryType());
    }
    // A misspelt "type" reads better as an unknown key than as a missing type.
    CheckKeys(table, "", {"type", "flags", "type_flags", "source", "final_size", "final_crc", "properties"});
    if (!type) Fail(table, "type", "is missing");
    if (const toml::node* node = table.get("flags")) {
      entry->SetEntryFlags(Flags(*node, "flags", EntryFlagFromText, "entry flag"));
    }
    if (const toml::node* node = table.get("type_flags")) {
      // Type-flag names belong to AppFile entries; other types keep their bits as numbers.
      NameLookup lookup = entry->EntryType() == kAppFile ? TypeFlagFromText : nullptr;
      entry->SetTypeFlags(Flags(*node, "type_flags", lookup, "AppFile type flag"));
    }
    if (const toml::node* node = table.get("properties")) {
      Properties(*node, "properties", EntryPropertyFromName, entry->Properties());
    }
    ReadContent(table, *entry);
    return entry;
  }

  static uint8_t Type(const toml::node& node) {
    uint8_t type = 0;
    if (!node.is_string()) {
      type = uint8_t(Integer(node, "type", 255));
    } else if (!EntryTypeFromText(Text(node, "type"), type)) {
      Fail(node, "type", "unknown entry type '" + node.as_string()->get() + "'");
    }
    if (type == kInstallExe) Fail(node, "type", "InstallExe entries are never written into a catalog");
    return type;
  }

  // The blob comes from a host file, or the entry has none and keeps the fields it names.
  void ReadContent(const toml::table& table, CatalogEntry& entry) {
    const toml::node* source = table.get("source");
    for (const char* field : {"final_size", "final_crc"}) {
      const toml::node* node = table.get(field);
      if (node && source) Fail(*node, field, "is computed from the source; give one or the other");
      if (node && entry.TestEntryFlags(kIgnoreBlob)) Fail(*node, field, "is always 0 with IgnoreBlob");
    }
    if (const toml::node* node = table.get("final_size")) entry.SetFinalSize(uint32_t(Integer(*node, "final_size", UINT32_MAX)));
    if (const toml::node* node = table.get("final_crc")) entry.SetFinalCRC(uint32_t(Integer(*node, "final_crc", UINT32_MAX)));
    if (!source) return;
    if (entry.TestEntryFlags(kIgnoreBlob)) Fail(*source, "source", "is never stored with IgnoreBlob");
    entry.SetBlobFileName(SourcePath(*source));
  }

  // Sources are relative to the manifest's folder, so a manifest and its files move together.
  std::u16string SourcePath(const toml::node& node) {
    std::string source = Utf16ToUtf8(Text(node, "source"));
    if (source.empty()) Fail(node, "source", "must name a file");
    std::string path = !source.empty() && source[0] == '/' ? source : folder_ + source;
    std::u16string host = Utf8ToUtf16(path);
    DWORD attributes = GetFileAttributesW(host.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) Fail(node, "source", "cannot read '" + path + "': " + LastErrorText());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) Fail(node, "source", "'" + path + "' is a folder");
    return host;
  }

  std::string path_, folder_, where_;
  Package& package_;
};

}  // namespace

bool ReadManifest(const std::string& path, Package& package, std::string& error) {
  return ManifestReader(path, package).Read(error);
}

}  // namespace stowkit::pack_tool
