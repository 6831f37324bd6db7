// dump, list and verify: read a package, write nothing.
#include <cstdio>
#include <iostream>
#include <memory>

#include "json_writer.h"
#include "pack_tool.h"
#include "package/dump.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "progress.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

// The dump ends its lines the handheld's way; a terminal wants bare line feeds.
std::string TerminalText(const std::u16string& text) {
  std::string out = Utf16ToUtf8(text);
  size_t kept = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n')) out[kept++] = out[i];
  }
  out.resize(kept);
  return out;
}

// The vocabulary's flag texts put a blank before each name.
std::vector<std::string> FlagNames(const std::u16string& text) {
  std::vector<std::string> names;
  std::string utf8 = Utf16ToUtf8(text), word;
  for (char c : utf8 + ' ') {
    if (c != ' ') {
      word += c;
    } else if (!word.empty()) {
      names.push_back(word);
      word.clear();
    }
  }
  return names;
}

std::string Joined(const std::vector<std::string>& names, const std::string& none) {
  if (names.empty()) return none;
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

std::string Property(const PropertyMap& map, uint8_t id) {
  std::optional<std::u16string_view> value = map.Find(id);
  return value ? Utf16ToUtf8(*value) : std::string();
}

std::vector<std::string> Features(const CatalogEntry& entry) {
  std::vector<std::string> features;
  if (std::optional<std::u16string_view> value = entry.Properties().Find(kFeatures)) {
    for (const std::u16string& feature : SplitPropertyList(*value)) features.push_back(Utf16ToUtf8(feature));
  }
  return features;
}

void WriteFlags(tool::JsonWriter& json, const std::vector<std::string>& names) {
  json.BeginArray();
  for (const std::string& name : names) json.String(name);
  json.EndArray();
}

void WriteProperties(tool::JsonWriter& json, const PropertyMap& map, PropertyNames names) {
  json.BeginArray();
  for (const auto& [id, value] : map) {
    std::u16string name = names == PropertyNames::kPackage ? PackagePropertyName(id) : EntryPropertyName(id);
    json.BeginObject().Key("id").Number(id).Key("name").String(Utf16ToUtf8(name));
    json.Key("value").String(Utf16ToUtf8(value)).EndObject();
  }
  json.EndArray();
}

int Written(const std::string& what) {
  std::cout.flush();
  return std::cout ? 0 : Error("cannot write the " + what + " to standard output");
}

// Written a part at a time from a catalog read twice, an entry at a time: once to count
// the entries the header names, once to write them. Neither keeps them, so a package of
// many entries costs no more memory than one, and the text shows how far it has come.
int DumpText(const std::string& path) {
  std::unique_ptr<Package> package;
  int count = 0;
  if (!OpenPackageFile(path, package, [&count](std::unique_ptr<CatalogEntry>) { ++count; })) return 1;
  {
    tool::Progress progress("dump");
    progress.Show("reading " + std::to_string(count) + " entries");
  }
  std::u16string text, error_text;
  DumpPackageHeader(*package, count, text);
  std::cout << TerminalText(text);
  int index = 0;
  HRESULT hr = ReadCatalogAgain(error_text, *package, [&](std::unique_ptr<CatalogEntry> entry) {
    if (!std::cout) return;
    DumpNumberedEntry(*entry, index++, text);
    std::cout << TerminalText(text);
  });
  if (FAILED(hr)) return Error(OpenFailure(path, error_text, hr));
  return Written("dump");
}

}  // namespace

// JSON of a large catalog goes out in pieces of this size, never whole in memory.
constexpr size_t kJsonPiece = 64 * 1024;

int Dump(const std::string& path, bool json_output) {
  if (!json_output) return DumpText(path);
  std::unique_ptr<Package> package;
  if (!OpenPackageFile(path, package)) return 1;
  {
    const PackageHeader& h = package->Header();
    tool::JsonWriter json;
    json.BeginObject().Key("package").String(path).Key("flags").Number(h.Flags).Key("flag_names");
    WriteFlags(json, FlagNames(PackageFlagsText(h.Flags)));
    json.Key("platform").Number(h.Platform).Key("version");
    json.String(Utf16ToUtf8(Format(u"%lu.%lu.%lu.%lu", h.Version >> 24, (h.Version >> 16) & 0xFF,
                                   (h.Version >> 8) & 0xFF, h.Version & 0xFF)));
    json.Key("blob_offset").Number(h.BlobOffset).Key("blob_length").Number(h.BlobLen);
    json.Key("catalog_length").Number(h.CatalogLen).Key("descriptor_length").Number(h.DescriptorLen);
    json.Key("properties");
    WriteProperties(json, package->Properties(), PropertyNames::kPackage);
    json.Key("entries").BeginArray();
    for (int i = 0; i < package->NumEntries(); ++i) {
      const CatalogEntry& entry = *package->GetEntry(i);
      json.BeginObject().Key("index").Number(i + 1);
      json.Key("type").String(Utf16ToUtf8(EntryTypeText(entry.EntryType()))).Key("type_code").Number(entry.EntryType());
      json.Key("entry_flags").Number(entry.EntryFlags()).Key("entry_flag_names");
      WriteFlags(json, FlagNames(EntryFlagsText(entry.EntryFlags())));
      json.Key("type_flags").Number(entry.TypeFlags()).Key("type_flag_names");
      WriteFlags(json, FlagNames(TypeFlagsText(entry.EntryType(), entry.TypeFlags())));
      json.Key("blob_offset").Number(entry.BlobOffset()).Key("blob_length").Number(entry.BlobLength());
      json.Key("final_size").Number(entry.FinalSize()).Key("final_crc").Number(entry.FinalCRC());
      json.Key("descriptor_length").Number(entry.DescriptorLn()).Key("properties");
      WriteProperties(json, entry.Properties(), PropertyNames::kEntry);
      json.EndObject();
      json.FlushTo(std::cout, kJsonPiece);
    }
    json.EndArray().EndObject();
    json.FlushTo(std::cout);
    return Written("dump");
  }
}

int ListEntries(const std::string& path, bool json_output) {
  std::unique_ptr<Package> package;
  if (!OpenPackageFile(path, package)) return 1;
  tool::JsonWriter json;
  if (json_output) json.BeginObject().Key("package").String(path).Key("entries").BeginArray();
  for (int i = 0; i < package->NumEntries() && std::cout; ++i) {
    const CatalogEntry& entry = *package->GetEntry(i);
    std::vector<std::string> flags = FlagNames(EntryFlagsText(entry.EntryFlags()));
    for (const std::string& name : FlagNames(TypeFlagsText(entry.EntryType(), entry.TypeFlags()))) flags.push_back(name);
    std::string type = Utf16ToUtf8(EntryTypeText(entry.EntryType()));
    // A shortcut has no Dst: the link it makes is where it goes.
    std::string destination = Property(entry.Properties(), entry.EntryType() == kShortcut ? kLinkName : kDst);
    std::vector<std::string> features = Features(entry);
    if (json_output) {
      json.BeginObject().Key("index").Number(i + 1).Key("type").String(type).Key("flags");
      WriteFlags(json, flags);
      json.Key("size").Number(entry.FinalSize()).Key("crc").Number(entry.FinalCRC());
      json.Key("destination").OptionalString(destination.empty() ? std::nullopt : std::optional(destination));
      json.Key("features");
      WriteFlags(json, features);
      json.EndObject();
      json.FlushTo(std::cout, kJsonPiece);
      continue;
    }
    char numbers[40];
    std::snprintf(numbers, sizeof numbers, "%10u %08x", unsigned(entry.FinalSize()), unsigned(entry.FinalCRC()));
    std::string line = type + std::string(type.size() < 14 ? 14 - type.size() : 1, ' ');
    std::string flag_text = Joined(flags, "-");
    line += flag_text + std::string(flag_text.size() < 40 ? 40 - flag_text.size() : 1, ' ');
    line += std::string(numbers) + " " + (destination.empty() ? "-" : destination);
    if (!features.empty()) line += " [" + Joined(features, "") + "]";
    std::cout << line << "\n";
  }
  if (json_output) {
    json.EndArray().EndObject();
    json.FlushTo(std::cout);
  }
  return Written("list");
}
int Verify(const std::string& path) {
  std::unique_ptr<Package> package;
  if (!OpenPackageFile(path, package)) return 1;
  int blobs = 0, bad = 0;
  tool::Progress progress("verify");
  for (int i = 0; i < package->NumEntries(); ++i) {
    const CatalogEntry& entry = *package->GetEntry(i);
    if (entry.BlobLength() != 0) ++blobs;  // an entry without one is checked as well: its content is empty
    progress.Count("entry", i + 1, package->NumEntries());
    uint64_t size = 0;
    HRESULT hr = VerifyEntryBlob(entry, &size);
    if (FAILED(hr)) {
      ++bad;
      progress.Clear();
      Error(path + ": " + EntryLabel(i, entry.EntryType()) + ": " + BlobFailure(entry, hr, size));
    }
  }
  progress.Clear();
  if (bad > 0) return 1;
  std::cout << path << ": OK, " << blobs << (blobs == 1 ? " blob" : " blobs") << " verified\n";
  return 0;
}

}  // namespace stowkit::pack_tool
