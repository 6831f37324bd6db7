// The product state store on a real device registry, and its silence under the package's
// "NoState" option.
#include "services/product_state.h"

#include <gtest/gtest.h>

#include "services/file_services.h"
#include "services/registry_services.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;

bool KeyExists(const char16_t* subkey) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, 0, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class ProductStateTest : public ::testing::Test {
 protected:
  void TearDown() override { SetPackageOptions(0); }  // the option byte is process-wide
  TempDevice device_;
};

TEST_F(ProductStateTest, RecordLivesUnderTheStoreKeyOfTheProduct) {
  ASSERT_EQ(SetStateDword(u"Notes", kStateStatus, kStatusFullInstalling), 1);
  ASSERT_EQ(SetStateDword(u"Notes", kStateVersion, 0x01020000), 1);
  ASSERT_EQ(SetStateString(u"Notes", kStateFeatures, u"Core,Help"), 1);
  ASSERT_EQ(SetStateString(u"Other", kStateUninstallExe, u"\\Windows\\AppMgr\\Other Remove.exe"),
            1);

  uint32_t number = 0;
  ASSERT_EQ(GetRegDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TalvenorKitwright\\Notes", u"Version",
                        number), 1);
  EXPECT_EQ(number, 0x01020000u);
  std::u16string text;
  ASSERT_EQ(GetStateString(u"notes", u"FEATURES", text), 1);
  EXPECT_EQ(text, u"Core,Help");
  ASSERT_EQ(GetStateDword(u"Notes", kStateStatus, number), 1);
  EXPECT_EQ(number, uint32_t{kStatusFullInstalling});
  std::vector<std::u16string> products;
  ASSERT_EQ(ListRegSubkeys(HKEY_LOCAL_MACHINE, kStateKey, products), 1);
  EXPECT_EQ(products, (std::vector<std::u16string>{u"Notes", u"Other"}));
}

TEST_F(ProductStateTest, ReadersFailOnWrongTypeOrMissingAndKeepTheOutput) {
  ASSERT_EQ(SetStateString(u"App", kStateVersion, u"1.0.0.0"), 1);
  ASSERT_EQ(SetStateDword(u"App", kStatePlatformId, 3), 1);
  uint32_t number = 77;
  EXPECT_EQ(GetStateDword(u"App", kStateVersion, number), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATATYPE));
  EXPECT_EQ(GetStateDword(u"Gone", kStateVersion, number), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(number, 77u);
  std::u16string text = u"as passed";
  EXPECT_EQ(GetStateString(u"App", kStatePlatformId, text), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATATYPE));
  EXPECT_EQ(text, u"as passed");
}

TEST_F(ProductStateTest, NoStateSilencesTheWritersOnly) {
  ASSERT_EQ(SetStateDword(u"Old", kStateStatus, kStatusInstalled), 1);
  SetPackageOptions(kPackageNoState | 0x01);
  EXPECT_EQ(SetStateDword(u"New", kStateStatus, kStatusFullInstalling), 1);
  EXPECT_EQ(SetStateString(u"New", kStateFeatures, u"All"), 1);
  EXPECT_EQ(SetStateDword(u"Old", kStateStatus, kStatusFullInstallFailed), 1);
  EXPECT_FALSE(KeyExists(u"SOFTWARE\\TalvenorKitwright\\New"));

  uint32_t status = 99;
  ASSERT_EQ(GetStateDword(u"Old", kStateStatus, status), 1);  // readers still read
  EXPECT_EQ(status, uint32_t{kStatusInstalled});
  EXPECT_EQ(DeleteState(u"Old"), 1);  // and a removal still deletes
  EXPECT_FALSE(KeyExists(u"SOFTWARE\\TalvenorKitwright\\Old"));

  SetPackageOptions(0x01 | 0x02);  // other bits do not silence anything
  EXPECT_EQ(SetStateDword(u"New", kStateStatus, kStatusFullInstalling), 1);
  EXPECT_TRUE(KeyExists(u"SOFTWARE\\TalvenorKitwright\\New"));
}

TEST_F(ProductStateTest, DeleteStateRemovesOneProductTree) {
  ASSERT_EQ(SetStateString(u"Gone", kStateUninstallPkg, u"\\Windows\\AppMgr\\Gone Remove.pkg"), 1);
  ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TalvenorKitwright\\Gone\\Extra", u"x", 1),
            1);
  ASSERT_EQ(SetStateString(u"Stays", kStateUpgradeMode, u"0"), 1);
  EXPECT_EQ(DeleteState(u"Gone"), 1);
  EXPECT_FALSE(KeyExists(u"SOFTWARE\\TalvenorKitwright\\Gone"));
  EXPECT_TRUE(KeyExists(u"SOFTWARE\\TalvenorKitwright\\Stays"));
  SetLastError(3);
  EXPECT_EQ(DeleteState(u"Never"), 1);
  EXPECT_EQ(GetLastError(), 0u);
}

}  // namespace
}  // namespace stowkit
