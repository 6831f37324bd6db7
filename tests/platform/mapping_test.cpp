// Memory-mapped files: views see the file, and the file stays in use while mapped.
#include <gtest/gtest.h>

#include <cstring>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;

class MappingTest : public ::testing::Test {
 protected:
  HANDLE OpenForMapping(const char16_t* path, DWORD access) {
    return CreateFileForMappingW(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  TempDevice device_;
};

TEST_F(MappingTest, ReadOnlyViewOfTheWholeFile) {
  testing::WriteHostFile(device_.Host("Temp/m.txt"), "mapped bytes");
  HANDLE file = OpenForMapping(u"\\Temp\\m.txt", GENERIC_READ);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  CloseHandle(file);  // the mapping keeps the file
  auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(view, 12), "mapped bytes");
  CloseHandle(mapping);  // and the view keeps it too
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\m.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(DeleteFileW(u"\\Temp\\m.txt"));
  EXPECT_FALSE(UnmapViewOfFile(view));
}

TEST_F(MappingTest, WritableViewsReachTheFileAndAccessIsChecked) {
  testing::WriteHostFile(device_.Host("Temp/w.bin"), "0123456789");
  HANDLE reader = OpenForMapping(u"\\Temp\\w.bin", GENERIC_READ);
  EXPECT_EQ(CreateFileMappingW(reader, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  HANDLE read_only = CreateFileMappingW(reader, nullptr, PAGE_READONLY, 0, 0, nullptr);
  EXPECT_EQ(MapViewOfFile(read_only, FILE_MAP_WRITE, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(read_only);
  CloseHandle(reader);

  HANDLE file = CreateFileForMappingW(u"\\Temp\\w.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4));
  ASSERT_NE(view, nullptr);
  std::memcpy(view, "abcd", 4);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(file);
  EXPECT_EQ(testing::ReadHostFile(device_.Host("Temp/w.bin")), "abcd456789");
}

TEST_F(MappingTest, BadRequestsFailCleanly) {
  testing::WriteHostFile(device_.Host("Temp/empty"), "");
  HANDLE file = OpenForMapping(u"\\Temp\\empty", GENERIC_READ);
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_INVALID));
  CloseHandle(file);

  testing::WriteHostFile(device_.Host("Temp/small"), "small");
  file = OpenForMapping(u"\\Temp\\small", GENERIC_READ);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 100, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MAPPED_ALIGNMENT));
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 6), nullptr);  // past the end
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 0), nullptr);
  EXPECT_EQ(CreateFileMappingW(mapping, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));  // a mapping is not a file
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 100, nullptr), nullptr);
  CloseHandle(mapping);
  CloseHandle(file);
}

TEST(ModulePath, HostProgramsKeepTheirHostPath) {
  TempDevice device;
  WCHAR buffer[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(buffer[0], u'/');
  EXPECT_TRUE(std::u16string(buffer, n).ends_with(u"platform_tests"));
  WCHAR tiny[4];
  EXPECT_EQ(GetModuleFileNameW(nullptr, tiny, 4), 3u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(tiny[3], 0);
  EXPECT_EQ(GetModuleFileNameW(HMODULE(uintptr_t(0x1234)), buffer, MAX_PATH), 0u);
}

}  // namespace
}  // namespace stowkit
