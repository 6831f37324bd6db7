#include "platform/file_meta.h"

#include <sys/xattr.h>

namespace coredll {
namespace {

constexpr char kAttributesName[] = "user.stowkit.attributes";
constexpr char kCreatedName[] = "user.stowkit.created";
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

}  // namespace

DWORD ReadAttributes(const std::string& host, const struct stat& st) {
  uint32_t stored = 0;
  if (lgetxattr(host.c_str(), kAttributesName, &stored, sizeof stored) != sizeof stored) {
    stored = 0;
  }
  DWORD attributes = stored & kSettableAttributes;
  if (S_ISDIR(st.st_mode)) return attributes | FILE_ATTRIBUTE_DIRECTORY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool WriteAttributes(const std::string& host, DWORD attributes) {
  uint32_t stored = attributes & kSettableAttributes;
  return lsetxattr(host.c_str(), kAttributesName, &stored, sizeof stored, 0) == 0;
}

bool WriteAttributes(int fd, DWORD attributes) {
  uint32_t stored = attributes & kSettableAttributes;
  return fsetxattr(fd, kAttributesName, &stored, sizeof stored, 0) == 0;
}

uint64_t ReadCreationTime(const std::string& host, const struct stat& st) {
  uint64_t created = 0;
  if (lgetxattr(host.c_str(), kCreatedName, &created, sizeof created) == sizeof created) {
    return created;
  }
  return FileTimeFromTimespec(st.st_mtim);
}

bool WriteCreationTime(int fd, uint64_t file_time) {
  return fsetxattr(fd, kCreatedName, &file_time, sizeof file_time, 0) == 0;
}

uint64_t FileTimeFromTimespec(const struct timespec& ts) {
  return kUnixEpochAsFileTime + uint64_t(int64_t(ts.tv_sec)) * 10000000ull +
         uint64_t(ts.tv_nsec) / 100;
}

struct timespec TimespecFromFileTime(uint64_t file_time) {
  int64_t since_epoch = int64_t(file_time - kUnixEpochAsFileTime);
  int64_t seconds = since_epoch / 10000000;
  int64_t rest = since_epoch % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  return timespec{time_t(seconds), long(rest * 100)};
}

}  // namespace coredll
