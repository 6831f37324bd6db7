// Laying out devices and reading their profiles.
#include <gtest/gtest.h>

#include <filesystem>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using testing::TempDevice;

TEST(Device, PocketPcLayout) {
  TempDevice device;
  for (const char* folder : {"Windows", "Windows/AppMgr", "Windows/Start Menu/Programs",
                             "Windows/StartUp", "Windows/Favorites", "My Documents",
                             "Program Files", "Application Data", "Temp"}) {
    EXPECT_TRUE(fs::is_directory(device.Host(folder))) << folder;
  }
  EXPECT_TRUE(fs::is_directory(device.folder() + "/run"));
  EXPECT_EQ(testing::ReadHostFile(device.folder() + "/boots"), "0\n");
  std::string profile = testing::ReadHostFile(device.folder() + "/device.toml");
  EXPECT_NE(profile.find("platform_type = 'PocketPC'"), std::string::npos);
  EXPECT_NE(profile.find("locale_id = 1033"), std::string::npos);
  EXPECT_TRUE(coredll::IsDevice(device.folder()));
}

TEST(Device, SmartphoneKeepsUserDataUnderStorage) {
  TempDevice device(coredll::Platform::kSmartphone);
  EXPECT_TRUE(fs::is_directory(device.Host("Storage/My Documents")));
  EXPECT_TRUE(fs::is_directory(device.Host("Windows")));
  std::string profile = testing::ReadHostFile(device.folder() + "/device.toml");
  EXPECT_NE(profile.find("'Smartphone'"), std::string::npos);
}

TEST(Device, InitKeepsAnExistingDeviceAndRefusesTheOtherPlatform) {
  TempDevice device;
  testing::WriteHostFile(device.Host("Temp/keep.txt"), "kept");
  fs::remove(device.Host("Windows/Favorites"));
  std::string error;
  EXPECT_TRUE(coredll::InitDevice(device.folder(), coredll::Platform::kPocketPC, &error));
  EXPECT_EQ(testing::ReadHostFile(device.Host("Temp/keep.txt")), "kept");
  EXPECT_TRUE(fs::is_directory(device.Host("Windows/Favorites")));  // completed again
  EXPECT_FALSE(coredll::InitDevice(device.folder(), coredll::Platform::kSmartphone, &error));
  EXPECT_NE(error.find("already a PocketPC device"), std::string::npos);
}

TEST(Device, BrokenProfileIsReportedNotGuessed) {
  TempDevice device;
  testing::WriteHostFile(device.folder() + "/device.toml", "platform_type = [unclosed");
  std::string error;
  EXPECT_FALSE(coredll::InitDevice(device.folder(), coredll::Platform::kPocketPC, &error));
  EXPECT_NE(error.find("bad device profile"), std::string::npos);
  coredll::SelectDevice(device.folder());
  EXPECT_EQ(GetFileAttributesW(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
}

TEST(Device, DefaultDeviceIsMadeOnFirstUse) {
  std::string home = fs::temp_directory_path() / ("stowkit-home-" + std::to_string(getpid()));
  unsetenv("STOWKIT_DEVICE");
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  coredll::SelectDevice("");
  unsetenv("STOWKIT_DEVICE");
  EXPECT_EQ(coredll::DeviceFolder(), home + "/stowkit/device");
  EXPECT_NE(GetFileAttributesW(u"\\Windows\\AppMgr"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(coredll::IsDevice(home + "/stowkit/device"));
  unsetenv("XDG_DATA_HOME");
  fs::remove_all(home);
}

}  // namespace
}  // namespace stowkit
