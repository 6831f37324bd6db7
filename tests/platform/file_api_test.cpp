// Files through the platform: dispositions and their error codes, reading and writing,
// the file pointer, attributes (read-only enforced), times and injected faults.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cstdint>
#include <string>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;

HANDLE Create(const char16_t* path, DWORD disposition, DWORD access = GENERIC_READ | GENERIC_WRITE,
              DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileW(path, access, 0, nullptr, disposition, attributes, nullptr);
}

std::string ReadAll(HANDLE file) {
  std::string text;
  char buffer[7];  // small on purpose: several reads per file
  DWORD got;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  return text;
}

void WriteText(const char16_t* path, const std::string& text) {
  HANDLE file = Create(path, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr));
  ASSERT_EQ(written, text.size());
  CloseHandle(file);
}

uint64_t FileTimeValueOf(const FILETIME& ft) {
  return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class FileApiTest : public ::testing::Test {
 protected:
  TempDevice device_;
};

TEST_F(FileApiTest, DispositionsAndTheirLastErrors) {
  EXPECT_EQ(Create(u"\\Temp\\a.txt", OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Create(u"\\Temp\\a.txt", TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Create(u"\\NoFolder\\a.txt", CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

  HANDLE file = Create(u"\\Temp\\a.txt", CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  CloseHandle(file);
  EXPECT_EQ(Create(u"\\Temp\\A.TXT", CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  file = Create(u"\\Temp\\a.txt", OPEN_ALWAYS);  // success, but says it existed
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(file);
  file = Create(u"\\Temp\\a.txt", CREATE_ALWAYS);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(file);
  file = Create(u"\\Temp\\b.txt", OPEN_ALWAYS);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  CloseHandle(file);

  EXPECT_EQ(Create(u"\\Temp\\a.txt", 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Create(u"\\Temp", OPEN_EXISTING), INVALID_HANDLE_VALUE);  // a folder
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(FileApiTest, ReadWriteSeekAndTruncate) {
  WriteText(u"\\Temp\\data.bin", "hello, handheld world");
  HANDLE file = Create(u"\\Temp\\data.bin", OPEN_EXISTING);
  EXPECT_EQ(GetFileSize(file, nullptr), 21u);
  EXPECT_EQ(ReadAll(file), "hello, handheld world");
  EXPECT_EQ(SetFilePointer(file, 7, nullptr, FILE_BEGIN), 7u);
  EXPECT_EQ(ReadAll(file), "handheld world");
  EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_END), 16u);
  EXPECT_EQ(SetFilePointer(file, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_BEGIN), 5u);
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(GetFileSize(file, nullptr), 5u);
  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_END), 7u);  // past the end, then write
  EXPECT_TRUE(WriteFile(file, "!", 1, nullptr, nullptr));
  CloseHandle(file);
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/data.bin")), std::string("hello\0\0!", 8));

  file = Create(u"\\Temp\\data.bin", OPEN_EXISTING);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));  // -1 is negative, not 4 GiB - 1
  LONG past = 1;
  EXPECT_EQ(SetFilePointer(file, 0, &past, FILE_BEGIN), 0u);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));  // 4 GiB does not fit 32 bits
  CloseHandle(file);

  // A handle that keeps writers out reads small pieces from blocks read ahead: across block
  // boundaries, after seeks back and forth, and up to the end, it reads what the file holds.
  std::string big;
  for (int i = 0; big.size() < 150000; ++i) big += std::to_string(i) + ',';
  WriteText(u"\\Temp\\big.txt", big);
  file = CreateFileW(u"\\Temp\\big.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     0, nullptr);
  EXPECT_EQ(ReadAll(file), big);
  EXPECT_EQ(SetFilePointer(file, 70000, nullptr, FILE_BEGIN), 70000u);
  EXPECT_EQ(ReadAll(file), big.substr(70000));
  EXPECT_EQ(SetFilePointer(file, 65530, nullptr, FILE_BEGIN), 65530u);
  char piece[12];
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(file, piece, sizeof piece, &got, nullptr));
  EXPECT_EQ(std::string(piece, got), big.substr(65530, sizeof piece));
  CloseHandle(file);
  // One that lets writers in reads what they wrote since its last read.
  file = CreateFileW(u"\\Temp\\big.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE writer = CreateFileW(u"\\Temp\\big.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(ReadFile(file, piece, 4, &got, nullptr));
  ASSERT_TRUE(WriteFile(writer, "abcdefgh", 8, nullptr, nullptr));
  ASSERT_TRUE(ReadFile(file, piece, 4, &got, nullptr));
  EXPECT_EQ(std::string(piece, got), "efgh");
  CloseHandle(writer);
  CloseHandle(file);

  LONG high = 1;  // a 64-bit position
  file = Create(u"\\Temp\\data.bin", OPEN_EXISTING);
  EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_BEGIN), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(high, 1);
  CloseHandle(file);
}

TEST_F(FileApiTest, HandlesEnforceTheirAccess) {
  WriteText(u"\\Temp\\x.txt", "abc");
  HANDLE reader = Create(u"\\Temp\\x.txt", OPEN_EXISTING, GENERIC_READ);
  EXPECT_FALSE(WriteFile(reader, "z", 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetEndOfFile(reader));
  CloseHandle(reader);
  HANDLE writer = Create(u"\\Temp\\x.txt", OPEN_EXISTING, GENERIC_WRITE);
  char c;
  DWORD got = 99;
  EXPECT_FALSE(ReadFile(writer, &c, 1, &got, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(got, 0u);
  CloseHandle(writer);
}

TEST_F(FileApiTest, HandleValuesAreCheckedAndNeverZeroOrMinusOne) {
  HANDLE file = Create(u"\\Temp\\h.txt", CREATE_NEW);
  EXPECT_NE(file, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));  // closed twice
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  for (HANDLE bogus : {HANDLE(nullptr), INVALID_HANDLE_VALUE, HANDLE(uintptr_t(0x42)),
                       HANDLE(uintptr_t(0x101)), HANDLE(uintptr_t(0x7FFFFF00))}) {
    EXPECT_FALSE(ReadFile(bogus, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\*", &data);
  EXPECT_FALSE(WriteFile(find, "x", 1, nullptr, nullptr));  // a search is not a file
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  FindClose(find);
}

TEST_F(FileApiTest, ReadOnlyFilesRefuseWritesAndDeletionUntilCleared) {
  WriteText(u"\\Temp\\ro.txt", "keep me");
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesW(u"\\TEMP\\RO.TXT"), DWORD(FILE_ATTRIBUTE_READONLY));

  EXPECT_EQ(Create(u"\\Temp\\ro.txt", OPEN_EXISTING, GENERIC_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Create(u"\\Temp\\ro.txt", CREATE_ALWAYS, GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Create(u"\\Temp\\ro.txt", TRUNCATE_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\ro.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/ro.txt")), "keep me");

  HANDLE reader = Create(u"\\Temp\\ro.txt", OPEN_EXISTING, GENERIC_READ);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);  // reading is fine
  CloseHandle(reader);

  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\ro.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileW(u"\\Temp\\ro.txt"));

  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\rodir", nullptr));
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\rodir", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(RemoveDirectoryW(u"\\Temp\\rodir"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(FileApiTest, AttributesAreKeptWithTheFile) {
  HANDLE file = Create(u"\\Temp\\h.dat", CREATE_NEW, GENERIC_WRITE,
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  CloseHandle(file);
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\h.dat"),
            DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
  file = Create(u"\\Temp\\h.dat", CREATE_ALWAYS, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
  CloseHandle(file);
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\h.dat"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"\\"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"\\None\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  // A file put into fs/ from the host has no stored bits and shows as NORMAL.
  testing::WriteHostFile(device_.Host("Temp/from-host.txt"), "x");
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\from-host.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));

  // A file of an older device keeps its bits and creation time in two attributes: it reads
  // as they say, and a change of its bits keeps its creation time.
  std::string old_file = device_.Host("Temp/old.txt");
  testing::WriteHostFile(old_file, "x");
  uint32_t old_bits = FILE_ATTRIBUTE_HIDDEN;
  uint64_t old_created = 126000000000000000ull;
  ASSERT_EQ(setxattr(old_file.c_str(), "user.stowkit.attributes", &old_bits, sizeof old_bits, 0), 0);
  ASSERT_EQ(setxattr(old_file.c_str(), "user.stowkit.created", &old_created, sizeof old_created, 0),
            0);
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\old.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\old.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesW(u"\\Temp\\old.txt"), DWORD(FILE_ATTRIBUTE_READONLY));
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(u"\\Temp\\old.txt", &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  EXPECT_EQ(FileTimeValueOf(found.ftCreationTime), old_created);
  EXPECT_EQ(found.dwFileAttributes, DWORD(FILE_ATTRIBUTE_READONLY));
}

TEST_F(FileApiTest, FoldersCreateRemoveAndReportTheirErrors) {
  EXPECT_TRUE(CreateDirectoryW(u"\\Program Files\\App", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"\\program files\\APP", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(u"\\Missing\\App", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  WriteText(u"\\Program Files\\App\\f.txt", "x");
  EXPECT_FALSE(RemoveDirectoryW(u"\\Program Files\\App"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW(u"\\Program Files\\App\\f.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  EXPECT_FALSE(DeleteFileW(u"\\Program Files\\App"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileW(u"\\Program Files\\App\\F.TXT"));
  EXPECT_FALSE(DeleteFileW(u"\\Program Files\\App\\f.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(RemoveDirectoryW(u"\\Program Files\\App"));
  EXPECT_FALSE(RemoveDirectoryW(u"\\"));
}

TEST_F(FileApiTest, MoveAndCopyKeepContentAndRefuseToOverwrite) {
  WriteText(u"\\Temp\\one.txt", "first");
  WriteText(u"\\Temp\\two.txt", "second");
  EXPECT_FALSE(MoveFileW(u"\\Temp\\one.txt", u"\\Temp\\TWO.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileW(u"\\Temp\\one.txt", u"\\My Documents\\One.txt"));
  EXPECT_EQ(testing::ReadHostFile(device_.Host("My Documents/One.txt")), "first");
  EXPECT_FALSE(CopyFileW(u"\\Temp\\two.txt", u"\\My Documents\\one.txt", TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_TRUE(CopyFileW(u"\\Temp\\two.txt", u"\\My Documents\\one.txt", FALSE));
  EXPECT_EQ(testing::ReadHostFile(device_.Host("My Documents/One.txt")), "second");
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/two.txt")), "second");
}

TEST_F(FileApiTest, FileTimesRoundTrip) {
  HANDLE file = Create(u"\\Temp\\t.txt", CREATE_NEW);
  SYSTEMTIME st = {2003, 6, 0, 23, 14, 30, 5, 250};
  FILETIME when;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &when));
  FILETIME created = when, written = when;
  created.dwLowDateTime -= 10000000;  // one second earlier
  ASSERT_TRUE(SetFileTime(file, &created, nullptr, &written));
  FILETIME c, a, w;
  ASSERT_TRUE(GetFileTime(file, &c, &a, &w));
  EXPECT_EQ(CompareFileTime(&c, &created), 0);
  EXPECT_EQ(CompareFileTime(&w, &written), 0);
  CloseHandle(file);

  HANDLE reader = Create(u"\\Temp\\t.txt", OPEN_EXISTING, GENERIC_READ);
  EXPECT_FALSE(SetFileTime(reader, nullptr, nullptr, &written));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(reader);
}

TEST_F(FileApiTest, InjectedFaults) {
  ASSERT_TRUE(coredll::SetFaults("write@\\Temp\\full*#2=112;open@*.lck=5;read@*short*=short", nullptr));
  HANDLE file = Create(u"\\Temp\\full.bin", CREATE_NEW);
  EXPECT_TRUE(WriteFile(file, "a", 1, nullptr, nullptr));
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(file, "b", 1, &written, nullptr));  // the second write only
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(WriteFile(file, "c", 1, nullptr, nullptr));
  CloseHandle(file);
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/full.bin")), "ac");

  EXPECT_EQ(Create(u"\\Temp\\x.LCK", CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  WriteText(u"\\Temp\\short.txt", "0123456789");
  HANDLE reader = Create(u"\\Temp\\short.txt", OPEN_EXISTING, GENERIC_READ);
  char buffer[10];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(reader, buffer, 10, &got, nullptr));
  EXPECT_EQ(got, 5u);
  CloseHandle(reader);

  // "#N+": a disk that stays full from the N-th write on.
  ASSERT_TRUE(coredll::SetFaults("write@*stays*#2+=112", nullptr));
  file = Create(u"\\Temp\\stays.bin", CREATE_NEW);
  EXPECT_TRUE(WriteFile(file, "a", 1, nullptr, nullptr));
  EXPECT_FALSE(WriteFile(file, "b", 1, nullptr, nullptr));
  EXPECT_FALSE(WriteFile(file, "c", 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
  CloseHandle(file);

  std::string error;
  EXPECT_FALSE(coredll::SetFaults("write#0+=5", &error));
  EXPECT_FALSE(coredll::SetFaults("write=disk", &error));
  EXPECT_NE(error.find("write=disk"), std::string::npos);
  EXPECT_FALSE(coredll::SetFaults("explode=5", &error));
  EXPECT_FALSE(coredll::SetFaults("write#0=5", &error));
  EXPECT_FALSE(coredll::SetFaults("open=short", &error));
}

}  // namespace
}  // namespace stowkit
