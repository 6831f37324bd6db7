// Text calls, system texts and the temp folder.
#include <gtest/gtest.h>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;

TEST(SystemText, OneLineTextsEndInABlank) {
  TempDevice device;
  WCHAR buffer[256];
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  DWORD n = FormatMessageW(flags, nullptr, 2, 0, buffer, 256, nullptr);
  EXPECT_EQ(std::u16string(buffer, n), u"The system cannot find the file specified. ");
  n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, 256, nullptr);
  EXPECT_EQ(std::u16string(buffer, n), u"Access is denied.\r\n");
  n = FormatMessageW(flags, nullptr, 0x80004005, 0, buffer, 256, nullptr);
  EXPECT_EQ(std::u16string(buffer, n), u"Unspecified error ");

  EXPECT_EQ(FormatMessageW(flags, nullptr, 193, 0, buffer, 256, nullptr), 0u);  // "%1" insert
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(FormatMessageW(flags, nullptr, 99999, 0, buffer, 256, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(FormatMessageW(flags, nullptr, 2, 0, buffer, 5, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  WCHAR* allocated = nullptr;
  n = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 32, 0,
                     reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(std::u16string(allocated, n),
            u"The process cannot access the file because it is being used by another process. ");
  LocalFree(allocated);
}

TEST(SystemText, ADeviceWithoutAMessageTableHasNoTexts) {
  TempDevice device;
  std::string profile = testing::ReadHostFile(device.folder() + "/device.toml");
  profile.replace(profile.find("message_table = true"), 20, "message_table = false");
  testing::WriteHostFile(device.folder() + "/device.toml", profile);
  coredll::SelectDevice(device.folder());
  WCHAR buffer[256];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, 256, nullptr), 0u);
}

TEST(Text, CaseInsensitiveCallsShareOneMapping) {
  EXPECT_EQ(lstrcmpiW(u"\\Windows\\ÄPP.exe", u"\\WINDOWS\\äpp.EXE"), 0);
  EXPECT_LT(lstrcmpiW(u"abc", u"ABD"), 0);
  EXPECT_GT(lstrcmpiW(u"b", nullptr), 0);
  EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);
  WCHAR text[] = u"mixed Ünïcode";
  EXPECT_EQ(CharUpperW(text), text);
  EXPECT_EQ(std::u16string(text), u"MIXED ÜNÏCODE");
  EXPECT_EQ(uintptr_t(CharUpperW(reinterpret_cast<LPWSTR>(uintptr_t(u'é')))), uintptr_t(u'É'));
}

TEST(Temp, PathEndsInABackslashAndReportsTheSizeNeeded) {
  TempDevice device;
  WCHAR buffer[MAX_PATH];
  EXPECT_EQ(GetTempPathW(MAX_PATH, buffer), 6u);
  EXPECT_EQ(std::u16string(buffer), u"\\Temp\\");
  EXPECT_EQ(GetTempPathW(3, buffer), 7u);
  ASSERT_TRUE(RemoveDirectoryW(u"\\Temp"));
  EXPECT_EQ(GetTempPathW(MAX_PATH, buffer), 0u);
  EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
}

}  // namespace
}  // namespace stowkit
