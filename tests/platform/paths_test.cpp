// Device paths: case-insensitive and case-preserving, and never a way out of fs/.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "support/temp_device.h"
#include "text/utf.h"

namespace stowkit {
namespace {

using testing::TempDevice;

class PathsTest : public ::testing::Test {
 protected:
  bool Exists(const std::string& host) { return std::filesystem::exists(host); }
  // Creating `path` fails with `error`, and nothing appears in the device folder outside
  // fs/ or in the folder above the device.
  void ExpectRefused(const char16_t* path, DWORD error) {
    auto before = std::distance(std::filesystem::directory_iterator(device_.folder()), {});
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), error);
    EXPECT_FALSE(CreateDirectoryW(path, nullptr));
    EXPECT_EQ(GetLastError(), error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(device_.folder()), {}), before);
    EXPECT_FALSE(Exists(std::filesystem::path(device_.folder()).parent_path() / "outside"));
  }
  TempDevice device_;
};

TEST_F(PathsTest, LookupIgnoresCaseAndKeepsTheFirstSpelling) {
  HANDLE file = CreateFileW(u"\\Temp\\MixedCase.Txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(file);
  file = CreateFileW(u"\\TEMP\\mixedcase.TXT", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(Exists(device_.Host("Temp/MixedCase.Txt")));
  EXPECT_FALSE(Exists(device_.Host("Temp/mixedcase.TXT")));
  EXPECT_NE(GetFileAttributesW(u"\\windows\\start menu\\PROGRAMS"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(u"/Temp/mixedcase.txt"), INVALID_FILE_ATTRIBUTES);  // '/' too
  EXPECT_NE(GetFileAttributesW(u"\\\\Temp\\\\mixedcase.txt"), INVALID_FILE_ATTRIBUTES);
  // Non-ASCII names fold through the same mapping.
  file = CreateFileW(u"\\Temp\\Ärger.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(file);
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\äRGER.TXT"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PathsTest, DotDotAndForbiddenCharactersAreRefused) {
  ExpectRefused(u"\\..\\outside", ERROR_INVALID_NAME);
  ExpectRefused(u"\\Temp\\..\\..\\outside", ERROR_INVALID_NAME);
  ExpectRefused(u"\\Temp\\.\\x", ERROR_INVALID_NAME);
  for (const char16_t* bad : {u"\\Temp\\a:b", u"\\Temp\\a*b", u"\\Temp\\a?b", u"\\Temp\\a<b",
                              u"\\Temp\\a>b", u"\\Temp\\a|b", u"\\Temp\\a\"b", u"\\Temp\\a\tb"}) {
    ExpectRefused(bad, ERROR_INVALID_NAME);
  }
  EXPECT_FALSE(Exists(device_.folder() + "/outside"));
}

TEST_F(PathsTest, LinksAreNeverFollowed) {
  std::string outside = device_.folder() + "-outside";
  std::filesystem::create_directory(outside);
  ASSERT_EQ(symlink(outside.c_str(), device_.Host("Temp/escape").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/file").c_str(), device_.Host("Temp/filelink").c_str()), 0);

  ExpectRefused(u"\\Temp\\escape\\planted.txt", ERROR_ACCESS_DENIED);
  ExpectRefused(u"\\temp\\ESCAPE\\planted.txt", ERROR_ACCESS_DENIED);
  ExpectRefused(u"\\Temp\\filelink", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\filelink"));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\escape"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  std::filesystem::remove_all(outside);
}

// A hard link shares its file with a place outside, and a pipe would block whoever opens
// it: neither is the device's own, so both are refused like links and never listed.
TEST_F(PathsTest, HardLinksAndPipesAreRefused) {
  std::string outside = device_.folder() + "-outside";
  std::filesystem::create_directory(outside);
  testing::WriteHostFile(outside + "/shared", "outside bytes");
  ASSERT_EQ(link((outside + "/shared").c_str(), device_.Host("Temp/hardlink").c_str()), 0);
  ASSERT_EQ(mkfifo(device_.Host("Temp/pipe").c_str(), 0644), 0);

  ExpectRefused(u"\\Temp\\hardlink", ERROR_ACCESS_DENIED);
  ExpectRefused(u"\\Temp\\pipe", ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileW(u"\\Temp\\pipe", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_FALSE(SetFileAttributesW(u"\\Temp\\hardlink", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\hardlink"));
  WIN32_FIND_DATAW found;
  EXPECT_EQ(FindFirstFileW(u"\\Temp\\*", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(testing::ReadHostFile(outside + "/shared"), "outside bytes");

  // A file that had a second name is the device's own again once that name is gone.
  std::filesystem::remove(outside + "/shared");
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\hardlink"), INVALID_FILE_ATTRIBUTES);
  std::filesystem::remove_all(outside);
}

TEST_F(PathsTest, OverlongPathsAreRefused) {
  std::u16string path = u"\\Temp\\" + std::u16string(254, u'a');
  EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(GetFileAttributesW(nullptr), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(PathsTest, WithoutADeviceEveryDevicePathFails) {
  std::string missing = device_.folder() + "/not-a-device";
  coredll::SelectDevice(missing);
  EXPECT_EQ(GetFileAttributesW(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(Exists(missing));  // an explicitly chosen folder is never created by accident
  coredll::SelectDevice(device_.folder());
}

TEST_F(PathsTest, HostModeTakesHostPathsAsWritten) {
  std::string host = device_.folder() + "/host-file.bin";
  testing::WriteHostFile(host, "host bytes");
  coredll::SetHostMode(true);
  std::u16string path(host.begin(), host.end());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "host bytes");
  CloseHandle(file);
  coredll::SetHostMode(false);
  coredll::SelectDevice(device_.folder());
}

// Lookups remember the folders they walked: one renamed, moved away or replaced by a link
// since must be walked afresh, never used as it was.
TEST_F(PathsTest, AFolderChangedSinceItsLastLookupIsLookedUpAfresh) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\A", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\A\\C", nullptr));
  HANDLE file = CreateFileW(u"\\Temp\\A\\C\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_NE(GetFileAttributesW(u"\\Temp\\A\\C\\f.txt"), INVALID_FILE_ATTRIBUTES);

  // Renamed on the host to a spelling that the path still matches, ignoring case.
  std::filesystem::rename(device_.Host("Temp/A"), device_.Host("Temp/a"));
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\A\\C\\f.txt"), INVALID_FILE_ATTRIBUTES);

  ASSERT_TRUE(MoveFileW(u"\\Temp\\a", u"\\Temp\\B"));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\A\\C\\f.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\B\\C\\f.txt"), INVALID_FILE_ATTRIBUTES);

  // B becomes a link to a folder outside that holds the same names.
  std::string outside = device_.folder() + "-outside";
  std::filesystem::create_directories(outside + "/C");
  testing::WriteHostFile(outside + "/C/f.txt", "outside");
  std::filesystem::rename(device_.Host("Temp/B"), device_.Host("Temp/B2"));
  std::filesystem::create_directory_symlink(outside, device_.Host("Temp/B"));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\B\\C\\f.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  // The same in the middle of a deeper way, while a folder beside it stays as it was.
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\B2\\C\\D", nullptr));
  file = CreateFileW(u"\\Temp\\B2\\C\\D\\first.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                     nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_NE(GetFileAttributesW(u"\\Temp\\B2\\C\\f.txt"), INVALID_FILE_ATTRIBUTES);
  std::filesystem::create_directories(outside + "/C/D");
  std::filesystem::rename(device_.Host("Temp/B2/C"), device_.Host("Temp/B2/C2"));
  std::filesystem::create_directory_symlink(outside + "/C", device_.Host("Temp/B2/C"));
  file = CreateFileW(u"\\Temp\\B2\\C\\D\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                     nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(std::filesystem::exists(outside + "/C/D/new.txt"));
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\B2\\C2\\f.txt"), INVALID_FILE_ATTRIBUTES);
  std::filesystem::remove_all(outside);
}


// A folder's names are kept after its first listing; whatever changes it afterwards, on the
// host or through the platform, must show in the next lookup as a fresh listing would.
TEST_F(PathsTest, LookupsSeeEveryChangeMadeSinceTheFolderWasListed) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\Kept", nullptr));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\Kept\\new.txt"), INVALID_FILE_ATTRIBUTES);

  testing::WriteHostFile(device_.Host("Temp/Kept/New.Txt"), "host");
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\Kept\\NEW.TXT"), INVALID_FILE_ATTRIBUTES);
  // Opened under the spelling it has, never made a second time in another case.
  HANDLE file = CreateFileW(u"\\Temp\\Kept\\new.TXT", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(device_.Host("Temp/Kept")), {}), 1);

  std::filesystem::rename(device_.Host("Temp/Kept/New.Txt"), device_.Host("Temp/Kept/Other.txt"));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\Kept\\new.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\Kept\\OTHER.TXT"), INVALID_FILE_ATTRIBUTES);
  std::filesystem::remove(device_.Host("Temp/Kept/Other.txt"));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\Kept\\other.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  // The folder removed and made again is another folder with names of its own.
  std::filesystem::remove(device_.Host("Temp/Kept"));
  std::filesystem::create_directory(device_.Host("Temp/Kept"));
  testing::WriteHostFile(device_.Host("Temp/Kept/Again.txt"), "host");
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\Kept\\AGAIN.TXT"), INVALID_FILE_ATTRIBUTES);
}

// More changes than the kernel queues between two lookups: the changes it could not report
// are not lost, the folder is listed afresh.
TEST_F(PathsTest, ChangesBeyondWhatIsQueuedAreStillSeen) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\Busy", nullptr));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\Busy\\last.txt"), INVALID_FILE_ATTRIBUTES);
  // One more create than the kernel queues for a reader (fs.inotify.max_queued_events).
  int queued = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  for (int i = 0; i <= queued; ++i) {
    testing::WriteHostFile(device_.Host("Temp/Busy/f" + std::to_string(i)), "");
  }
  testing::WriteHostFile(device_.Host("Temp/Busy/Last.txt"), "");
  EXPECT_NE(GetFileAttributesW(u"\\Temp\\Busy\\LAST.TXT"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(Utf8ToUtf16("\\Temp\\Busy\\F" + std::to_string(queued)).c_str()),
            INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace stowkit
