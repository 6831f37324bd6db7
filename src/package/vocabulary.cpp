#include "package/vocabulary.h"

#include <array>
#include <optional>

#include "text/format.h"
#include "text/trim.h"

namespace stowkit {
namespace {

using Names8 = std::array<const char16_t*, 8>;  // by bit, 0x01 first; nullptr: no name

constexpr Names8 kEntryFlagNames = {u"BlobCompressed", u"IgnoreBlob", u"ShouldInstall",
                                    u"NoRemove", nullptr, nullptr, nullptr, nullptr};
constexpr Names8 kTypeFlagNames = {u"SelfRegister", u"NoOverwrite", u"OverwriteIfNewer", nullptr,
                                   u"ReadOnly", u"Hidden", nullptr, nullptr};
constexpr Names8 kPackageFlagNames = {u"NoRemove", u"OldStyleARP", u"NoState", nullptr,
                                      u"Patch", u"Remove", u"Full", u"Template"};

constexpr std::pair<uint8_t, const char16_t*> kEntryTypes[] = {
    {kAppFile, u"AppFile"},         {kMacroDefs, u"MacroDefs"},
    {kShortcut, u"Shortcut"},       {kRegistry, u"Registry"},
    {kInstallExe, u"InstallExe"},   {kCustomDll, u"CustomDll"},
    {kSupportFile, u"SupportFile"}, {kFolder, u"Folder"},
    {kRemoveFolder, u"RemoveFolder"}, {kRemoveFile, u"RemoveFile"},
    {kRemoveShortcut, u"RemoveShortcut"}, {kAppCleanup, u"AppCleanup"},
    {kStaticFile, u"StaticFile"},   {kProvisioningFile, u"ProvisioningFile"},
    {kStaticInstall, u"StaticInstall"},
};

constexpr const char16_t* kPackagePropertyNames[] = {
    u"PlatformId",       u"PlatformType",      u"AppName",          u"AppDisplayName",
    u"AppDescription",   u"Version",           u"CPUType",          u"OSVersion",
    u"OSPlatform",       u"SignedBy",          u"AllFeatures",      u"EnabledFeatures",
    u"DisabledFeatures", u"AllLanguages",      u"EnabledLanguages", u"DisabledLanguages",
    u"Brand",            u"CabAppName",        u"LogDst",           u"ClientVersion",
    u"UserName",         u"UserLanguage",      u"ProductCode",      u"UpgradeCode",
    u"ARPDisplayName",   u"ARPIcon",
};

constexpr const char16_t* kEntryPropertyNames[] = {
    u"Dst",      u"Version",    u"Date",     u"Features", u"Lang",
    u"LinkName", u"LinkTarget", u"LinkArgs", u"LinkIcon", u"Size",
};

std::u16string FlagsText(const Names8& names, uint8_t flags) {
  std::u16string text;
  for (int bit = 0; bit < 8; ++bit) {
    if ((flags & (1u << bit)) && names[bit]) {
      text += u' ';
      text += names[bit];
    }
  }
  return text;
}

bool FlagFromText(const Names8& names, std::u16string_view text, uint8_t& bit) {
  for (int i = 0; i < 8; ++i) {
    if (names[i] && text == names[i]) {
      bit = uint8_t(1u << i);
      return true;
    }
  }
  return false;
}

template <size_t N>
std::u16string PropertyName(const char16_t* const (&names)[N], uint8_t id) {
  return (id >= 1 && id <= N) ? std::u16string(names[id - 1]) : Format(u"%d", id);
}

template <size_t N>
bool PropertyFromName(const char16_t* const (&names)[N], std::u16string_view name, uint8_t& id) {
  for (size_t i = 0; i < N; ++i) {
    if (name == names[i]) {
      id = uint8_t(i + 1);
      return true;
    }
  }
  return false;
}

}  // namespace

std::u16string EntryTypeText(uint8_t type) {
  for (auto [code, text] : kEntryTypes) {
    if (code == type) return text;
  }
  return u"Unknown";
}

std::u16string EntryFlagsText(uint8_t flags) { return FlagsText(kEntryFlagNames, flags); }

std::u16string TypeFlagsText(uint8_t type, uint8_t flags) {
  return type == kAppFile ? FlagsText(kTypeFlagNames, flags) : std::u16string();
}

std::u16string PackageFlagsText(uint8_t flags) { return FlagsText(kPackageFlagNames, flags); }

std::u16string PackagePropertyName(uint8_t id) { return PropertyName(kPackagePropertyNames, id); }

std::u16string EntryPropertyName(uint8_t id) { return PropertyName(kEntryPropertyNames, id); }

bool EntryTypeFromText(std::u16string_view text, uint8_t& type) {
  for (auto [code, name] : kEntryTypes) {
    if (text == name) {
      type = code;
      return true;
    }
  }
  return false;
}

bool EntryFlagFromText(std::u16string_view text, uint8_t& bit) {
  return FlagFromText(kEntryFlagNames, text, bit);
}

bool TypeFlagFromText(std::u16string_view text, uint8_t& bit) {
  return FlagFromText(kTypeFlagNames, text, bit);
}

bool PackageFlagFromText(std::u16string_view text, uint8_t& bit) {
  return FlagFromText(kPackageFlagNames, text, bit);
}

bool PackagePropertyFromName(std::u16string_view name, uint8_t& id) {
  return PropertyFromName(kPackagePropertyNames, name, id);
}

bool EntryPropertyFromName(std::u16string_view name, uint8_t& id) {
  return PropertyFromName(kEntryPropertyNames, name, id);
}

StringList SplitPropertyList(std::u16string_view text) {
  StringList pieces, items;
  SplitList(text, kListDelimiters, pieces);
  for (const std::u16string& piece : pieces) {
    std::u16string_view item = TrimBlanks(piece);
    if (!item.empty()) items.emplace_back(item);
  }
  return items;
}

}  // namespace stowkit
