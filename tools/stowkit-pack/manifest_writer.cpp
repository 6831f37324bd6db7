// Package → manifest text, the reader's inverse: names where the vocabulary has them and
// numbers for the rest, so that `build` gives back the same header, entries and properties.
#include "manifest.h"
#include "pack_tool.h"
#include "package/vocabulary.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

using NameLookup = bool (*)(std::u16string_view, uint8_t&);
using NameOf = std::u16string (*)(uint8_t);

std::string Hex(unsigned value) { return Utf16ToUtf8(Format(u"0x%02x", value)); }

bool HasLoneSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
    bool paired = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (low || (high && !paired)) return true;
    if (paired) ++i;
  }
  return false;
}

// A TOML basic string; control characters are escaped, everything else stays readable.
std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += Utf16ToUtf8(Format(u"\\u%04x", c));
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

// `flags = ["BlobCompressed", 0x10]`: each set bit by its name, or as a number without one.
// `text` is the vocabulary's flag text of one bit: " Name", or "" for a bit without a name.
template <typename BitText>
std::string FlagLine(const char* key, uint8_t bits, BitText text) {
  if (bits == 0) return "";
  std::string items;
  for (unsigned bit = 1; bit <= 0x80; bit <<= 1) {
    if (!(bits & bit)) continue;
    std::u16string name = text(uint8_t(bit));
    if (!items.empty()) items += ", ";
    items += name.empty() ? Hex(bit) : Quoted(Utf16ToUtf8(name.substr(1)));
  }
  return std::string(key) + " = [" + items + "]\n";
}

class ManifestWriter {
 public:
  explicit ManifestWriter(std::string& text) : text_(text) {}

  bool Write(const Package& package, const std::vector<std::string>& sources, std::string& error) {
    text_ = "# Written by stowkit-pack unpack; `stowkit-pack build` turns it back into the package.\n";
    WritePackage(package);
    for (int i = 0; i < package.NumEntries(); ++i) {
      where_ = EntryLabel(i, package.GetEntry(i)->EntryType());
      WriteEntry(*package.GetEntry(i), i < int(sources.size()) ? sources[i] : "");
    }
    if (!problem_.empty()) error = problem_;
    return problem_.empty();
  }

 private:
  void WritePackage(const Package& package) {
    where_ = "package";
    const PackageHeader& header = package.Header();
    text_ += "\n[package]\n" + FlagLine("flags", header.Flags, PackageFlagsText);
    text_ += "platform = " + std::to_string(header.Platform) + "\n";
    text_ += "version = " + Quoted(Utf16ToUtf8(FormatVersion(header.Version))) + "\n";
    WriteProperties("package", package.Properties(), PackagePropertyName, PackagePropertyFromName);
  }

  void WriteEntry(const CatalogEntry& entry, const std::string& source) {
    uint8_t type = entry.EntryType();
    if (type == kInstallExe) {
      text_ += "\n# " + where_ + " left out: InstallExe entries are never written into a catalog\n";
      return;
    }
    std::u16string name = EntryTypeText(type);
    uint8_t named = 0;
    bool has_name = EntryTypeFromText(name, named) && named == type;
    text_ += "\n[[entry]]\ntype = " + (has_name ? Quoted(Utf16ToUtf8(name)) : std::to_string(type)) + "\n";
    text_ += FlagLine("flags", entry.EntryFlags(), EntryFlagsText);
    text_ += FlagLine("type_flags", entry.TypeFlags(), [type](uint8_t bit) { return TypeFlagsText(type, bit); });
    if (!source.empty()) {
      text_ += "source = " + Quoted(source) + "\n";
    } else if (!entry.TestEntryFlags(kIgnoreBlob)) {
      if (entry.FinalSize()) text_ += "final_size = " + std::to_string(entry.FinalSize()) + "\n";
      if (entry.FinalCRC()) text_ += "final_crc = " + std::to_string(entry.FinalCRC()) + "\n";
    }
    WriteProperties("entry", entry.Properties(), EntryPropertyName, EntryPropertyFromName);
  }

  void WriteProperties(const char* table, const PropertyMap& map, NameOf name_of, NameLookup lookup) {
    if (map.PropertyCount() == 0) return;
    text_ += std::string("\n[") + table + ".properties]\n";
    for (const auto& [id, value] : map) {
      if (id >= kFirstMemoryOnlyId) {
        text_ += "# property " + Hex(id) + " left out: ids 0x80 and up are never stored\n";
        continue;
      }
      std::u16string name = name_of(id);
      uint8_t back = 0;
      std::string key = lookup(name, back) ? Utf16ToUtf8(name) : Hex(id);
      if (HasLoneSurrogate(value) && problem_.empty()) {
        problem_ = where_ + ": property " + key + " holds UTF-16 text that has no UTF-8 form (a lone surrogate)";
      }
      text_ += key + " = " + Quoted(Utf16ToUtf8(value)) + "\n";
    }
  }

  std::string& text_;
  std::string where_, problem_;
};

}  // namespace

bool ManifestText(const Package& package, const std::vector<std::string>& sources,
                  std::string& text, std::string& error) {
  return ManifestWriter(text).Write(package, sources, error);
}

}  // namespace stowkit::pack_tool
