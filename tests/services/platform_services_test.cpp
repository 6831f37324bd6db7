// Platform kind, system folder, error texts and restart, on devices with different profiles.
#include "services/platform_services.h"

#include <gtest/gtest.h>

#include "support/device_profile.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::SetProfileLine;
using testing::TempDevice;

TEST(ErrorText, SystemTextsKeepTheirBlankAndWin32HResultsShareThem) {
  TempDevice device;
  EXPECT_EQ(ErrorText(5), u"Access is denied. ");
  EXPECT_EQ(ErrorText(0x80070005), ErrorText(5));
  EXPECT_EQ(ErrorText(0x8007000E), u"Not enough storage is available to complete this operation. ");
  EXPECT_EQ(ErrorText(0x00070002), ErrorText(2));  // the severity bit is not looked at
  EXPECT_EQ(ErrorText(0x80004005), u"Unspecified error ");  // asked for as itself
}

TEST(ErrorText, UnknownNumbersGetTheFallback) {
  TempDevice device;
  EXPECT_EQ(ErrorText(0x1234), u"Error (0x1234)");
  EXPECT_EQ(ErrorText(0x80071234), u"Error (0x1234)");
  EXPECT_EQ(ErrorText(0x80044005), u"Error (0x80044005)");
  EXPECT_EQ(ErrorText(193), u"Error (0xc1)");  // its text needs an insert nobody gives
}

TEST(ErrorText, WithoutAMessageTableEveryNumberGetsTheFallback) {
  TempDevice device;
  ASSERT_TRUE(SetProfileLine(device, "message_table = true", "message_table = false"));
  EXPECT_EQ(ErrorText(5), u"Error (0x5)");
  EXPECT_EQ(ErrorText(0x80070005), u"Error (0x5)");
  EXPECT_EQ(ErrorText(0x80004005), u"Error (0x80004005)");
}

TEST(PlatformType, FromTheDeviceProfile) {
  {
    TempDevice pocket_pc;
    EXPECT_EQ(GetPlatformType(), kPlatformPocketPC);
    ASSERT_TRUE(SetProfileLine(pocket_pc, "'PocketPC'", "'POCKETPC'"));
    EXPECT_EQ(GetPlatformType(), kPlatformPocketPC);
    ASSERT_TRUE(SetProfileLine(pocket_pc, "'POCKETPC'", "'palm pc2'"));
    EXPECT_EQ(GetPlatformType(), kPlatformPocketPC);
    ASSERT_TRUE(SetProfileLine(pocket_pc, "'palm pc2'", "'HPC'"));
    EXPECT_EQ(GetPlatformType(), kPlatformOtherCE);
  }
  TempDevice smartphone(coredll::Platform::kSmartphone);
  EXPECT_EQ(GetPlatformType(), kPlatformSmartphone);
  ASSERT_TRUE(SetProfileLine(smartphone, "'Smartphone'", "'SmartPhone'"));
  EXPECT_EQ(GetPlatformType(), kPlatformSmartphone);
}

TEST(SystemFolder, HoldsCoredll) {
  TempDevice device;
  std::u16string folder = u"stale";
  EXPECT_EQ(GetSystemFolder(folder), 1);
  EXPECT_EQ(folder, u"\\Windows");
}

class RestartTest : public ::testing::Test {
 protected:
  std::string Boots() const { return testing::ReadHostFile(device_.folder() + "/boots"); }
  TempDevice device_;
};

TEST_F(RestartTest, PocketPcRestartsThroughThePowerManager) {
  EXPECT_NE(RestartDevice(), 0);
  EXPECT_EQ(Boots(), "1\n");
}

TEST_F(RestartTest, WithoutTheShellLibraryThePowerManagerStillRestarts) {
  ASSERT_TRUE(SetProfileLine(device_, "aygshell = true", "aygshell = false"));
  ASSERT_TRUE(SetProfileLine(device_, "exit_windows_ex = false", "exit_windows_ex = true"));
  EXPECT_NE(RestartDevice(), 0);
  EXPECT_EQ(Boots(), "1\n");
}

TEST_F(RestartTest, TheShellRestartIsTakenFirstAndAlone) {
  ASSERT_TRUE(SetProfileLine(device_, "exit_windows_ex = false", "exit_windows_ex = true"));
  EXPECT_NE(RestartDevice(), 0);
  EXPECT_EQ(Boots(), "1\n");  // not restarted a second time by the power manager
  ASSERT_TRUE(SetProfileLine(device_, "set_system_power_state = true", "set_system_power_state = false"));
  EXPECT_NE(RestartDevice(), 0);
  EXPECT_EQ(Boots(), "2\n");
}

TEST_F(RestartTest, ADeviceWithNeitherEntryIsNotRestarted) {
  ASSERT_TRUE(SetProfileLine(device_, "set_system_power_state = true", "set_system_power_state = false"));
  EXPECT_EQ(RestartDevice(), 0);
  EXPECT_EQ(Boots(), "0\n");
}

}  // namespace
}  // namespace stowkit
