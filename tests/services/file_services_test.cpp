// File-system services on a real device folder.
#include "services/file_services.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;

bool IsFolder(const char16_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Touch(const char16_t* path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

class FileServicesTest : public ::testing::Test {
 protected:
  TempDevice device_;
};

TEST(PathText, JoinAndSplit) {
  EXPECT_EQ(JoinPath(u"\\Windows", u"\\Start Menu"), u"\\Windows\\Start Menu");
  EXPECT_EQ(JoinPath(u"\\Windows\\", u"Start Menu"), u"\\Windows\\Start Menu");
  EXPECT_EQ(JoinPath(u"\\Windows\\", u"\\\\x"), u"\\Windows\\\\x");  // only one '\' is dropped
  EXPECT_EQ(JoinPath(u"", u"x"), u"x");
  EXPECT_EQ(JoinPath(u"\\a", u""), u"\\a");
  EXPECT_EQ(JoinPath(u"\\", u"Temp"), u"\\Temp");
  std::u16string out;
  PathFolder(u"file.txt", out);
  EXPECT_EQ(out, u"file.txt");
  PathFileName(u"file.txt", out);
  EXPECT_EQ(out, u"file.txt");
  PathFolder(u"\\file.txt", out);
  EXPECT_EQ(out, u"");
  PathFolder(u"\\a\\b\\c.txt", out);
  EXPECT_EQ(out, u"\\a\\b");
  PathFileName(u"\\a\\b\\c.txt", out);
  EXPECT_EQ(out, u"c.txt");
  PathFileName(u"\\a\\", out);
  EXPECT_EQ(out, u"");
}

TEST_F(FileServicesTest, CreateFolderMakesEveryLevel) {
  EXPECT_EQ(CreateFolder(u"\\a\\b\\c"), 1);
  EXPECT_TRUE(IsFolder(u"\\a\\b\\c"));
  EXPECT_EQ(CreateFolder(u"\\a\\b\\c\\d\\"), 1);  // existing levels and a trailing '\' are fine
  EXPECT_TRUE(IsFolder(u"\\a\\b\\c\\d"));
  EXPECT_EQ(CreateFolder(u"/x/y"), 1);
  EXPECT_TRUE(IsFolder(u"\\x\\y"));
  // A network path creates nothing for the server or the share: here the share is missing.
  EXPECT_EQ(CreateFolder(u"\\\\srv\\share\\d"), 0);
  EXPECT_FALSE(IsFolder(u"\\srv"));
  ASSERT_EQ(CreateFolder(u"\\srv\\share"), 1);
  EXPECT_EQ(CreateFolder(u"\\\\srv\\share\\d"), 1);
  EXPECT_TRUE(IsFolder(u"\\srv\\share\\d"));
}

TEST_F(FileServicesTest, CreateFolderStopsAtAFileAndKeepsTheError) {
  Touch(u"\\Temp\\blocker");
  EXPECT_EQ(CreateFolder(u"\\Temp\\blocker\\sub"), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateFolder(u"\\Temp\\bad:name\\sub"), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
}

TEST_F(FileServicesTest, DeleteFolderWithoutFilesFlagKeepsFoldersThatHoldFiles) {
  ASSERT_EQ(CreateFolder(u"\\App\\empty\\deeper"), 1);
  ASSERT_EQ(CreateFolder(u"\\App\\full"), 1);
  Touch(u"\\App\\full\\data.txt");
  EXPECT_EQ(DeleteFolder(u"\\App", false), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(IsFolder(u"\\App\\empty"));  // the empty tree went
  EXPECT_TRUE(IsFolder(u"\\App\\full"));
  EXPECT_NE(GetFileAttributesW(u"\\App\\full\\data.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileServicesTest, DeleteFolderWithFilesFlagRemovesReadOnlyFilesToo) {
  ASSERT_EQ(CreateFolder(u"\\App\\sub"), 1);
  Touch(u"\\App\\sub\\ro.txt", FILE_ATTRIBUTE_READONLY);
  Touch(u"\\App\\top.txt", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_NE(DeleteFolder(u"\\App", true), 0);
  EXPECT_EQ(GetFileAttributesW(u"\\App"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileServicesTest, DeleteFolderReportsWhatStaysInside) {
  ASSERT_EQ(CreateFolder(u"\\App"), 1);
  HANDLE held = CreateFileW(u"\\App\\open.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  Touch(u"\\App\\other.txt");
  EXPECT_EQ(DeleteFolder(u"\\App", true), 0);  // never stops early: other.txt still goes
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(GetFileAttributesW(u"\\App\\other.txt"), INVALID_FILE_ATTRIBUTES);
  CloseHandle(held);
  EXPECT_EQ(DeleteFolder(u"\\Missing", true), 0);
}

TEST_F(FileServicesTest, EnsureParentFolder) {
  EXPECT_EQ(EnsureParentFolder(u"\\a\\file"), 1);  // last '\' at index 2: nothing is done
  EXPECT_FALSE(IsFolder(u"\\a"));
  EXPECT_EQ(EnsureParentFolder(u"file"), 1);
  EXPECT_EQ(EnsureParentFolder(u"\\Program Files\\App\\bin\\x.dll"), 1);
  EXPECT_TRUE(IsFolder(u"\\Program Files\\App\\bin"));
  EXPECT_EQ(EnsureParentFolder(u"\\Program Files\\App\\bin\\y.dll"), 1);
}

TEST_F(FileServicesTest, ExistenceAndAttributes) {
  Touch(u"\\Temp\\one.log", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(FileExists(u"\\Temp\\*.log"), 1);
  EXPECT_EQ(FileExists(u"\\Temp\\*.exe"), 0);
  EXPECT_EQ(FileExists(u"\\Temp"), 1);
  uint32_t attributes = 99;
  EXPECT_EQ(GetFileAttribs(u"\\Temp\\one.log", attributes), 1);
  EXPECT_EQ(attributes, uint32_t(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttribs(u"\\Temp\\none.log", attributes), 0);
  EXPECT_EQ(attributes, 0u);
}

TEST_F(FileServicesTest, ForceDeleteClearsReadOnly) {
  Touch(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\ro.txt"));
  EXPECT_EQ(ForceDeleteFile(u"\\Temp\\ro.txt"), 1);
  EXPECT_EQ(ForceDeleteFile(u"\\Temp\\ro.txt"), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  // A file in use stays, but with its attributes cleared, as if they had been cleared first.
  Touch(u"\\Temp\\held.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  HANDLE held = CreateFileW(u"\\Temp\\held.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ForceDeleteFile(u"\\Temp\\held.txt"), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\held.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
  CloseHandle(held);
}

TEST_F(FileServicesTest, FileTimeTextSetsAllThreeTimesInLocalTime) {
  Touch(u"\\Temp\\stamped.txt");
  ASSERT_EQ(SetFileTimeText(u"\\Temp\\stamped.txt", u"20061205143000"), 1);
  HANDLE file = CreateFileW(u"\\Temp\\stamped.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME times[3];
  ASSERT_TRUE(GetFileTime(file, &times[0], &times[1], &times[2]));
  CloseHandle(file);
  for (const FILETIME& utc : times) {
    FILETIME local;
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    EXPECT_EQ(st.wYear, 2006);
    EXPECT_EQ(st.wMonth, 12);
    EXPECT_EQ(st.wDay, 5);
    EXPECT_EQ(st.wHour, 14);
    EXPECT_EQ(st.wMinute, 30);
    EXPECT_EQ(st.wSecond, 0);
  }
  EXPECT_EQ(SetFileTimeText(u"\\Temp\\stamped.txt", u"2006120"), 0);  // not 14 characters
  EXPECT_EQ(SetFileTimeText(u"\\Temp\\none.txt", u"20061205143000"), 0);
  EXPECT_EQ(SetFileTimeText(u"\\Temp\\stamped.txt", u"2006AB05143000"), 0);  // month 0
}

TEST_F(FileServicesTest, TempFolderPathAndModulePath) {
  std::u16string path;
  ASSERT_EQ(MakeTempFolderPath(path), 1);
  EXPECT_EQ(path.substr(0, 10), u"\\Temp\\PKG_");
  EXPECT_EQ(path.size(), 10u + 14u);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing created
  ASSERT_EQ(GetModulePath(path), 1);
  EXPECT_TRUE(path.ends_with(u"services_tests"));  // a host program keeps its host path
}

TEST(ProcessSettings, OptionsAndRestartRequest) {
  EXPECT_EQ(GetPackageOptions(), 0);
  SetPackageOptions(0x04);
  EXPECT_EQ(GetPackageOptions(), 0x04);
  SetPackageOptions(0);
  EXPECT_EQ(GetRestartRequest(), 0u);
  SetRestartRequest(7);
  EXPECT_EQ(GetRestartRequest(), 7u);
  SetRestartRequest(0);
}

}  // namespace
}  // namespace stowkit
