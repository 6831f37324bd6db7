// The installer's own record of every product it installed: one key per product under
// HKEY_LOCAL_MACHINE\SOFTWARE\TalvenorKitwright, named by the caller (the package's
// "AppName"). Each call builds the key path afresh and opens and closes the key itself.
//
// While the package option byte has kPackageNoState set, the writers write nothing and
// report 1; the readers and DeleteState ignore it. Results and last-error are those of the
// registry services; a reader that fails leaves its output as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace stowkit {

inline constexpr std::u16string_view kStateKey = u"SOFTWARE\\TalvenorKitwright";
inline constexpr uint8_t kPackageNoState = 0x04;  // bit of the package option byte

// Value names under a product key.
inline constexpr std::u16string_view kStateStatus = u"Status";              // number
inline constexpr std::u16string_view kStateVersion = u"Version";            // number
inline constexpr std::u16string_view kStateFeatures = u"Features";          // text
inline constexpr std::u16string_view kStateLanguages = u"Languages";        // text
inline constexpr std::u16string_view kStatePlatformId = u"PlatformId";      // text
inline constexpr std::u16string_view kStateUninstallExe = u"UninstallEXE";  // text
inline constexpr std::u16string_view kStateUninstallPkg = u"UninstallPKG";  // text
inline constexpr std::u16string_view kStateUpgradeMode = u"CEUpgradeMode";  // text "1" or "0"
// Number: the process id of the CAB installer that is rolling a failed CAB install back.
inline constexpr std::u16string_view kStateRollBack = u"CERollBack";

// "Status": how far the last run got.
enum ProductStatus : uint32_t {
  kStatusInstalled = 0,
  kStatusFullInstalling = 1,
  kStatusPatchInstalling = 2,
  kStatusFullInstallFailed = 101,
  kStatusPatchInstallFailed = 102,
  kStatusFullRemoveFailed = 103,
  kStatusMinorRemoveFailed = 104,
};

// The key of `product` below the root: kStateKey, "\" and the product name.
std::u16string ProductKey(std::u16string_view product);

int GetStateDword(std::u16string_view product, std::u16string_view name, uint32_t& value);
int GetStateString(std::u16string_view product, std::u16string_view name, std::u16string& text);
int SetStateDword(std::u16string_view product, std::u16string_view name, uint32_t value);
int SetStateString(std::u16string_view product, std::u16string_view name,
                   std::u16string_view text);
// Deletes the product's key and everything below it; a missing product is success.
int DeleteState(std::u16string_view product);

}  // namespace stowkit
