#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;

std::vector<std::u16string> Find(const char16_t* pattern, DWORD* error = nullptr) {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do names.push_back(data.cFileName);
  while (FindNextFileW(find, &data));
  if (error) *error = GetLastError();
  FindClose(find);
  return names;
}

void Touch(const char16_t* path, const char* content = "") {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  WriteFile(file, content, DWORD(std::string(content).size()), nullptr, nullptr);
  CloseHandle(file);
}

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(u"\\Temp\\Sub", nullptr);
    Touch(u"\\Temp\\b.txt", "12345");
    Touch(u"\\Temp\\A.TXT");
    Touch(u"\\Temp\\c.dat");
    Touch(u"\\Temp\\README");
  }
  TempDevice device_;
};

TEST_F(FindTest, PatternsMatchCaseInsensitivelyInFoldedOrder) {
  DWORD end = 0;
  EXPECT_EQ(Find(u"\\Temp\\*", &end),
            (std::vector<std::u16string>{u"A.TXT", u"b.txt", u"c.dat", u"README", u"Sub"}));
  EXPECT_EQ(end, DWORD(ERROR_NO_MORE_FILES));
  EXPECT_EQ(Find(u"\\TEMP\\*.txt"), (std::vector<std::u16string>{u"A.TXT", u"b.txt"}));
  EXPECT_EQ(Find(u"\\Temp\\?.*"), (std::vector<std::u16string>{u"A.TXT", u"b.txt", u"c.dat"}));
  EXPECT_EQ(Find(u"\\Temp\\*.*").size(), 5u);
  EXPECT_EQ(Find(u"\\temp\\readme"), (std::vector<std::u16string>{u"README"}));
}

TEST_F(FindTest, NothingFoundGivesFileOrPathNotFound) {
  DWORD error = 0;
  EXPECT_TRUE(Find(u"\\Temp\\*.exe", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Find(u"\\Nowhere\\*", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(Find(u"\\Temp\\..\\*", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_INVALID_NAME));
}

TEST_F(FindTest, EntriesCarryAttributesAndSizes) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\Temp\\b.txt", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
  FindClose(find);
  find = FindFirstFileW(u"\\Temp\\sub", &data);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(std::u16string(data.cFileName), u"Sub");
  FindClose(find);
}

}  // namespace
}  // namespace stowkit
