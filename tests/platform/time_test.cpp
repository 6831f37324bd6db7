#include <gtest/gtest.h>


#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

FILETIME FromValue(uint64_t v) { return FILETIME{DWORD(v), DWORD(v >> 32)}; }
uint64_t Value(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

TEST(Time, KnownInstantsConvertBothWays) {
  struct Known {
    uint64_t file_time;
    SYSTEMTIME st;
  };
  const Known cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},                        // the epoch was a Monday
      {116444736000000000ull, {1970, 1, 4, 1, 0, 0, 0, 0}},    // a Thursday
      {126827583003450000ull, {2002, 11, 2, 26, 4, 25, 0, 345}},  // Tuesday
      {125962560000000000ull, {2000, 2, 2, 29, 0, 0, 0, 0}},   // a leap day, Tuesday
  };
  for (const Known& k : cases) {
    SYSTEMTIME st;
    FILETIME ft = FromValue(k.file_time);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << k.file_time;
    EXPECT_EQ(st.wYear, k.st.wYear);
    EXPECT_EQ(st.wMonth, k.st.wMonth);
    EXPECT_EQ(st.wDay, k.st.wDay);
    EXPECT_EQ(st.wDayOfWeek, k.st.wDayOfWeek) << k.file_time;
    EXPECT_EQ(st.wHour, k.st.wHour);
    EXPECT_EQ(st.wMinute, k.st.wMinute);
    EXPECT_EQ(st.wMilliseconds, k.st.wMilliseconds);
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    EXPECT_EQ(Value(back), k.file_time);
  }
}

TEST(Time, InvalidSystemTimesAreRefused) {
  FILETIME out;
  for (SYSTEMTIME bad : {SYSTEMTIME{2001, 2, 0, 29, 0, 0, 0, 0}, SYSTEMTIME{1600, 12, 0, 31, 0, 0, 0, 0},
                         SYSTEMTIME{2000, 13, 0, 1, 0, 0, 0, 0}, SYSTEMTIME{2000, 1, 0, 1, 24, 0, 0, 0},
                         SYSTEMTIME{2000, 1, 0, 0, 0, 0, 0, 0}, SYSTEMTIME{2000, 1, 0, 1, 0, 0, 0, 1000}}) {
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &out));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  SYSTEMTIME st;
  FILETIME huge = FromValue(0x8000000000000000ull);
  EXPECT_FALSE(FileTimeToSystemTime(&huge, &st));
}

TEST(Time, LocalTimeIsUtcMinusTheProfileBias) {
  testing::TempDevice device;
  std::string profile = testing::ReadHostFile(device.folder() + "/device.toml");
  auto at = profile.find("timezone_bias = 0");
  ASSERT_NE(at, std::string::npos);
  profile.replace(at, 17, "timezone_bias = -120");  // two hours east of UTC
  testing::WriteHostFile(device.folder() + "/device.toml", profile);
  coredll::SelectDevice(device.folder());

  FILETIME utc = FromValue(126828411003450000ull), local, back;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  EXPECT_EQ(Value(local) - Value(utc), 2ull * 3600 * 10000000);
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(Value(back), Value(utc));

  SYSTEMTIME system_now, local_now;
  GetSystemTime(&system_now);
  GetLocalTime(&local_now);
  FILETIME system_ft, local_ft;
  ASSERT_TRUE(SystemTimeToFileTime(&system_now, &system_ft));
  ASSERT_TRUE(SystemTimeToFileTime(&local_now, &local_ft));
  int64_t seconds = (int64_t(Value(local_ft)) - int64_t(Value(system_ft))) / 10000000;
  EXPECT_NEAR(double(seconds), 7200.0, 5.0);
}

}  // namespace
}  // namespace stowkit
