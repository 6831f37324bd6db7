// The CAB installer's command line as the setup extension reads it, and the provisioning
// marker.
#include "setupext/setup_options.h"

#include <gtest/gtest.h>

#include "services/registry_services.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

class SetupOptionsTest : public ::testing::Test {
 protected:
  SetupOptionsTest() {
    testing::WriteHostFile(device_.Host("Temp/my app.cab"), "cab");
    testing::WriteHostFile(device_.Host("Temp/other.cab"), "cab");
  }
  testing::TempDevice device_;
};

TEST_F(SetupOptionsTest, NothingGivenMeansShownAndDeleted) {
  SetupOptions options = ParseSetupOptions(u"");
  EXPECT_FALSE(options.silent);
  EXPECT_TRUE(options.delete_cab);
  EXPECT_EQ(options.cab_path, u"");
}

TEST_F(SetupOptionsTest, SilentSwitchesCompareWithoutCaseAfterOneSlashOrDash) {
  EXPECT_TRUE(ParseSetupOptions(u"/noui").silent);
  EXPECT_TRUE(ParseSetupOptions(u"-SILENT").silent);
  EXPECT_TRUE(ParseSetupOptions(u"NoUi").silent);
  EXPECT_FALSE(ParseSetupOptions(u"//noui").silent);
  EXPECT_FALSE(ParseSetupOptions(u"/nouix /askdest /noaskdest /nouninstall").silent);
}

TEST_F(SetupOptionsTest, DeleteKeepsTheCabOnlyForANumberZero) {
  EXPECT_TRUE(ParseSetupOptions(u"/delete 1").delete_cab);
  EXPECT_TRUE(ParseSetupOptions(u"-DELETE 2").delete_cab);
  EXPECT_FALSE(ParseSetupOptions(u"/delete 0").delete_cab);
  EXPECT_FALSE(ParseSetupOptions(u"/delete x").delete_cab);
  EXPECT_FALSE(ParseSetupOptions(u"/delete").delete_cab);
  EXPECT_FALSE(ParseSetupOptions(u"/nodelete").delete_cab);
  EXPECT_FALSE(ParseSetupOptions(u"/delete 1 /nodelete").delete_cab);
  // The number is the token after /delete, even when it names a file.
  SetupOptions options = ParseSetupOptions(u"/delete \\Temp\\other.cab");
  EXPECT_FALSE(options.delete_cab);
  EXPECT_EQ(options.cab_path, u"");
}

TEST_F(SetupOptionsTest, TheLastTokenNamingAFileIsTheCab) {
  EXPECT_EQ(ParseSetupOptions(u"/noui \"\\Temp\\my app.cab\"").cab_path, u"\\Temp\\my app.cab");
  EXPECT_EQ(ParseSetupOptions(u"\\Temp\\my app.cab").cab_path, u"") << "unquoted: two tokens";
  EXPECT_EQ(ParseSetupOptions(u"\\Temp\\missing.cab").cab_path, u"");
  SetupOptions options =
      ParseSetupOptions(u"\"\\Temp\\other.cab\" /noui \"\\Temp\\my app.cab\" \\Temp\\missing.cab");
  EXPECT_EQ(options.cab_path, u"\\Temp\\my app.cab");
  EXPECT_TRUE(options.silent);
}

TEST_F(SetupOptionsTest, ANonEmptyProvisioningMarkerMakesTheRunSilent) {
  EXPECT_FALSE(ReadSetupOptions().silent);
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kProvisionKey, kProvisionValue, u""));
  EXPECT_FALSE(ReadSetupOptions().silent);
  ASSERT_TRUE(SetRegDword(HKEY_LOCAL_MACHINE, kProvisionKey, kProvisionValue, 1));
  EXPECT_FALSE(ReadSetupOptions().silent) << "a number is not the marker's text";
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kProvisionKey, kProvisionValue, u"carrier"));
  EXPECT_TRUE(ReadSetupOptions().silent);
}

}  // namespace
}  // namespace stowkit
