#include "package/dump.h"

#include "package/vocabulary.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr char16_t kRule[] = u"--------------------------------\r\n";

}  // namespace

void DumpProperties(const PropertyMap& map, PropertyNames names, std::u16string& text) {
  text = Format(u"%20s: %lu\r\n", u"Properties", map.PropertyCount());
  for (const auto& [id, value] : map) {
    std::u16string name = names == PropertyNames::kPackage ? PackagePropertyName(id)
                                                           : EntryPropertyName(id);
    text += Format(u"%20s: %s\r\n", name, value);
  }
}

void DumpEntry(const CatalogEntry& entry, std::u16string& text) {
  std::u16string properties;
  DumpProperties(entry.Properties(), PropertyNames::kEntry, properties);
  text = Format(
      u" Entry Flags: 0x%02x - (%s)\r\n  Type Flags: 0x%02x - (%s)\r\n  BlobOffset: %lu\r\n"
      u"  BlobLength: %lu\r\n   FinalSize: %lu\r\n    FinalCRC: %lu\r\nDescriptorLn: %hu\r\n"
      u"BlobFileName: '%s'\r\nBlobFileHndl: 0x%x\r\n%s",
      entry.EntryFlags(), EntryFlagsText(entry.EntryFlags()), entry.TypeFlags(),
      TypeFlagsText(entry.EntryType(), entry.TypeFlags()), entry.BlobOffset(), entry.BlobLength(),
      entry.FinalSize(), entry.FinalCRC(), entry.DescriptorLn(), entry.BlobFileName(),
      reinterpret_cast<uintptr_t>(entry.BlobFileHndl()), properties);
}

void DumpPackageHeader(const Package& package, int num_entries, std::u16string& text) {
  const PackageHeader& h = package.Header();
  std::optional<std::u16string_view> app_name = package.Properties().Find(kAppName);
  std::u16string properties;
  DumpProperties(package.Properties(), PropertyNames::kPackage, properties);
  text = Format(
      u"%sPackage Dump: (%s - '%s')\r\n%s        Flags: 0x%02x - (%s)\r\n     Platform: 0x%02x\r\n"
      u"      Version: %02lu.%02lu.%02lu.%02lu\r\n   BlobOffset: %lu\r\n      BlobLen: %lu\r\n"
      u"   CatalogLen: %lu\r\nDescriptorLen: %hu\r\n   NumEntries: %lu\r\n%s",
      kRule, package.FileName(), app_name.value_or(std::u16string_view()), kRule, h.Flags,
      PackageFlagsText(h.Flags), h.Platform, h.Version >> 24, (h.Version >> 16) & 0xFF,
      (h.Version >> 8) & 0xFF, h.Version & 0xFF, h.BlobOffset, h.BlobLen, h.CatalogLen,
      h.DescriptorLen, num_entries, properties);
}

void DumpNumberedEntry(const CatalogEntry& entry, int index, std::u16string& text) {
  std::u16string entry_text;
  DumpEntry(entry, entry_text);
  text = Format(u"%s     Entry %d: %s\r\n%s", kRule, index + 1, EntryTypeText(entry.EntryType()), kRule);
  text += entry_text;
}

void DumpPackage(const Package& package, std::u16string& text) {
  DumpPackageHeader(package, package.NumEntries(), text);
  for (int i = 0; i < package.NumEntries(); ++i) {
    std::u16string entry_text;
    DumpNumberedEntry(*package.GetEntry(i), i, entry_text);
    text += entry_text;
  }
}

}  // namespace stowkit
