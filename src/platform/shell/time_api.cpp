// System time, local time (UTC minus the profile's bias) and FILETIME conversions.
#include <time.h>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/files/file_meta.h"

namespace coredll {
namespace {

constexpr uint64_t kTicksPerMs = 10000;
constexpr uint64_t kTicksPerDay = 864000000000ull;
constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr int kMaxYear = 30827;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = unsigned(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = unsigned(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = int64_t(yoe) + era * 400 + (m <= 2);
}

bool IsLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

SYSTEMTIME SystemTimeFromValue(uint64_t value) {
  int64_t days = int64_t(value / kTicksPerDay);
  uint64_t ms = (value % kTicksPerDay) / kTicksPerMs;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days - kDaysFrom1601To1970, y, m, d);
  SYSTEMTIME st;
  st.wYear = WORD(y);
  st.wMonth = WORD(m);
  st.wDay = WORD(d);
  st.wDayOfWeek = WORD((days + 1) % 7);  // 1601-01-01 was a Monday
  st.wHour = WORD(ms / 3600000);
  st.wMinute = WORD(ms / 60000 % 60);
  st.wSecond = WORD(ms / 1000 % 60);
  st.wMilliseconds = WORD(ms % 1000);
  return st;
}

uint64_t NowValue() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return FileTimeFromTimespec(ts);
}

int64_t BiasTicks() { return int64_t(Profile().timezone_bias) * 60 * 1000 * int64_t(kTicksPerMs); }

}  // namespace
}  // namespace coredll

using namespace coredll;

BOOL FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME system_time) {
  if (!file_time || !system_time) return Fail(ERROR_INVALID_PARAMETER);
  uint64_t value = FileTimeValue(*file_time);
  if (value >= 0x8000000000000000ull) return Fail(ERROR_INVALID_PARAMETER);
  *system_time = SystemTimeFromValue(value);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME file_time) {
  if (!st || !file_time) return Fail(ERROR_INVALID_PARAMETER);
  if (st->wYear < 1601 || st->wYear > kMaxYear || st->wMonth < 1 || st->wMonth > 12 ||
      st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
      st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay) + kDaysFrom1601To1970;
  uint64_t ms = ((uint64_t(st->wHour) * 60 + st->wMinute) * 60 + st->wSecond) * 1000 +
                st->wMilliseconds;
  *file_time = MakeFileTime(uint64_t(days) * kTicksPerDay + ms * kTicksPerMs);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_time) {
  if (!file_time || !local_time) return Fail(ERROR_INVALID_PARAMETER);
  *local_time = MakeFileTime(uint64_t(int64_t(FileTimeValue(*file_time)) - BiasTicks()));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local_time, LPFILETIME file_time) {
  if (!local_time || !file_time) return Fail(ERROR_INVALID_PARAMETER);
  *file_time = MakeFileTime(uint64_t(int64_t(FileTimeValue(*local_time)) + BiasTicks()));
  return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
  uint64_t x = FileTimeValue(*a), y = FileTimeValue(*b);
  return x < y ? -1 : x > y ? 1 : 0;
}

void GetSystemTime(LPSYSTEMTIME time) { *time = SystemTimeFromValue(NowValue()); }

void GetLocalTime(LPSYSTEMTIME time) {
  *time = SystemTimeFromValue(uint64_t(int64_t(NowValue()) - BiasTicks()));
}

DWORD GetTickCount(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return DWORD(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000);
}
