// The codes, bits and property ids that the installer and the package writer agree on, and
// their display texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/version.h"

namespace stowkit {

enum EntryTypeCode : uint8_t {
  kAppFile = 1,
  kMacroDefs = 2,
  kShortcut = 3,
  kRegistry = 4,
  kInstallExe = 5,
  kCustomDll = 6,
  kSupportFile = 7,
  kFolder = 8,
  kRemoveFolder = 9,
  kRemoveFile = 10,
  kRemoveShortcut = 11,
  kAppCleanup = 12,
  kStaticFile = 0xF0,
  kProvisioningFile = 0xF1,
  kStaticInstall = 0xFF,
};

// EntryFlags.
inline constexpr uint8_t kBlobCompressed = 0x01;
inline constexpr uint8_t kIgnoreBlob = 0x02;
inline constexpr uint8_t kShouldInstall = 0x04;
inline constexpr uint8_t kEntryNoRemove = 0x08;
inline constexpr uint8_t kKeepOnMinorRemove = 0x10;  // unnamed: spared by minor removals

// TypeFlags of AppFile entries.
inline constexpr uint8_t kSelfRegister = 0x01;
inline constexpr uint8_t kNoOverwrite = 0x02;
inline constexpr uint8_t kOverwriteIfNewer = 0x04;
inline constexpr uint8_t kReadOnly = 0x10;
inline constexpr uint8_t kHidden = 0x20;

// Package Flags.
inline constexpr uint8_t kPackageNoRemove = 0x01;
inline constexpr uint8_t kOldStyleArp = 0x02;
inline constexpr uint8_t kNoState = 0x04;
inline constexpr uint8_t kPatch = 0x10;
inline constexpr uint8_t kRemove = 0x20;
inline constexpr uint8_t kFull = 0x40;
inline constexpr uint8_t kTemplate = 0x80;

// Package property ids.
enum PackagePropertyId : uint8_t {
  kPlatformId = 1,
  kPlatformType = 2,
  kAppName = 3,
  kAppDisplayName = 4,
  kAppDescription = 5,
  kPackageVersion = 6,
  kCpuType = 7,
  kOsVersion = 8,
  kOsPlatform = 9,
  kSignedBy = 10,
  kAllFeatures = 11,
  kEnabledFeatures = 12,
  kDisabledFeatures = 13,
  kAllLanguages = 14,
  kEnabledLanguages = 15,
  kDisabledLanguages = 16,
  kBrand = 17,
  kCabAppName = 18,
  kLogDst = 19,
  kClientVersion = 20,
  kUserName = 21,
  kUserLanguage = 22,
  kProductCode = 23,
  kUpgradeCode = 24,
  kArpDisplayName = 25,
  kArpIcon = 26,
};

// Entry property ids.
enum EntryPropertyId : uint8_t {
  kDst = 1,
  kEntryVersion = 2,
  kDate = 3,
  kFeatures = 4,
  kLang = 5,
  kLinkName = 6,
  kLinkTarget = 7,
  kLinkArgs = 8,
  kLinkIcon = 9,
  kSize = 10,
};

// Ids from here up in a MacroDefs entry are macro definitions.
inline constexpr uint8_t kFirstMacroId = 0x30;
// Ids from here up exist only in memory; the writer never stores them.
inline constexpr uint8_t kFirstMemoryOnlyId = 0x80;

std::u16string EntryTypeText(uint8_t type);
// One blank before each named bit that is set, in ascending bit order.
std::u16string EntryFlagsText(uint8_t flags);
// The AppFile type-flag names; empty for every other entry type.
std::u16string TypeFlagsText(uint8_t type, uint8_t flags);
std::u16string PackageFlagsText(uint8_t flags);
// The property's name, or its id in decimal.
std::u16string PackagePropertyName(uint8_t id);
std::u16string EntryPropertyName(uint8_t id);

// Names back to codes, for manifests: false when the name is unknown.
bool EntryTypeFromText(std::u16string_view text, uint8_t& type);
bool EntryFlagFromText(std::u16string_view text, uint8_t& bit);
bool TypeFlagFromText(std::u16string_view text, uint8_t& bit);
bool PackageFlagFromText(std::u16string_view text, uint8_t& bit);
bool PackagePropertyFromName(std::u16string_view name, uint8_t& id);
bool EntryPropertyFromName(std::u16string_view name, uint8_t& id);

// A feature, language or path list: split at ',' and ';' (no empty items), each item trimmed
// of white space (0x09..0x0D, 0x20), order kept.
StringList SplitPropertyList(std::u16string_view text);

}  // namespace stowkit
