// Copying a device for a throwaway run: what the copy holds, and that the two are apart.
#include <gtest/gtest.h>

#include <filesystem>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

namespace fs = std::filesystem;
using testing::TempDevice;

class DeviceCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stowkit-copy-XXXXXX";
    work_ = mkdtemp(pattern);
    copy_ = work_ + "/copy";
  }
  void TearDown() override { fs::remove_all(work_); }

  static WIN32_FIND_DATAW Found(const char16_t* path) {
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW(path, &data);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return data;
  }

  // HKLM\Software\Copied "Name" of the selected device, "<none>" when absent.
  static std::u16string ReadValue() {
    HKEY key = nullptr;
    WCHAR text[64] = {};
    DWORD size = sizeof text;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Copied", 0, 0, &key) != ERROR_SUCCESS) {
      return u"<none>";
    }
    LONG result = RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::u16string(text) : u"<none>";
  }
  static void WriteValue(const std::u16string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Copied", 0, nullptr, 0, 0, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD((text.size() + 1) * 2));
    RegCloseKey(key);
  }

  std::string work_, copy_;
};

TEST_F(DeviceCopyTest, CopyKeepsFilesAttributesTimesAndRegistry) {
  TempDevice device;
  testing::WriteHostFile(device.Host("Temp/a.txt"), "content");
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  HANDLE file = CreateFileW(u"\\Temp\\b.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  FILETIME old_time = {0x12345678, 0x01C00000};
  ASSERT_TRUE(SetFileTime(file, &old_time, nullptr, &old_time));
  CloseHandle(file);
  WriteValue(u"original");
  fs::create_directory(device.folder() + "/run/leftover");

  std::string error;
  ASSERT_TRUE(coredll::CopyDevice(device.folder(), copy_, &error)) << error;
  coredll::SelectDevice(copy_);
  EXPECT_EQ(testing::ReadHostFile(copy_ + "/fs/Temp/a.txt"), "content");
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\a.txt"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Found(u"\\Temp\\b.txt").ftLastWriteTime.dwLowDateTime, old_time.dwLowDateTime);
  EXPECT_EQ(Found(u"\\Temp\\b.txt").ftCreationTime.dwHighDateTime, old_time.dwHighDateTime);
  EXPECT_TRUE(fs::is_directory(copy_ + "/fs/Windows/Start Menu/Programs"));
  EXPECT_EQ(ReadValue(), u"original");
  EXPECT_TRUE(fs::is_empty(copy_ + "/run"));  // no processes, no answers

  // Apart from here on: the copy's changes stay in the copy.
  WriteValue(u"changed");
  ASSERT_TRUE(DeleteFileW(u"\\Temp\\b.txt"));
  coredll::SelectDevice(device.folder());
  EXPECT_EQ(ReadValue(), u"original");
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\b.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DeviceCopyTest, RefusesWhatIsNotADeviceAndAnExistingTarget) {
  std::string error;
  EXPECT_FALSE(coredll::CopyDevice(work_, copy_, &error));
  EXPECT_NE(error.find("is not a device folder"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(copy_));

  TempDevice device;
  fs::create_directory(copy_);
  testing::WriteHostFile(copy_ + "/mine", "kept");
  EXPECT_FALSE(coredll::CopyDevice(device.folder(), copy_, &error));
  EXPECT_NE(error.find("File exists"), std::string::npos) << error;
  EXPECT_EQ(testing::ReadHostFile(copy_ + "/mine"), "kept");  // not ours to remove
}

}  // namespace
}  // namespace stowkit
