#include "platform/files/file_meta.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

namespace coredll {
namespace {

// One attribute holds both, so a new file is described in one call and read in one. Devices
// made before it keep the two attributes below; they are read when the new one is missing
// and replaced by it on the first change.
constexpr char kMetaName[] = "user.stowkit.meta";
constexpr char kOldAttributesName[] = "user.stowkit.attributes";
constexpr char kOldCreatedName[] = "user.stowkit.created";
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

// The stored form: the attribute bits, whether a creation time is kept, the creation time.
constexpr size_t kMetaSize = 2 * sizeof(uint32_t) + sizeof(uint64_t);
constexpr uint32_t kHasCreated = 1;

struct Stored {
  uint32_t attributes = 0;
  bool has_created = false;
  uint64_t created = 0;
  bool is_new = false;          // held in the one attribute
  bool old_attributes = false;  // which of the two older attributes are there
  bool old_created = false;
};

// Reads a file's metadata through `get(name, buffer, size)`, a getxattr on a path or a
// descriptor; an older file's creation time only when `need_created`.
template <typename Get>
Stored ReadStored(Get get, bool need_created) {
  Stored stored;
  char value[kMetaSize];
  if (get(kMetaName, value, sizeof value) == ssize_t(sizeof value)) {
    uint32_t flags = 0;
    std::memcpy(&stored.attributes, value, sizeof(uint32_t));
    std::memcpy(&flags, value + sizeof(uint32_t), sizeof(uint32_t));
    std::memcpy(&stored.created, value + 2 * sizeof(uint32_t), sizeof stored.created);
    stored.has_created = flags & kHasCreated;
    stored.is_new = true;
    return stored;
  }
  stored.old_attributes =
      get(kOldAttributesName, &stored.attributes, sizeof stored.attributes) ==
      ssize_t(sizeof stored.attributes);
  if (!stored.old_attributes) stored.attributes = 0;
  if (!need_created) return stored;
  stored.old_created = get(kOldCreatedName, &stored.created, sizeof stored.created) ==
                       ssize_t(sizeof stored.created);
  if (!stored.old_created) stored.created = 0;
  stored.has_created = stored.old_created;
  return stored;
}

// Stores `stored` in the one attribute through `set(name, value, size)` and drops the older
// ones it was read from through `remove(name)`; a failed drop loses nothing, as the one
// attribute is read first.
template <typename Set, typename Remove>
bool WriteStored(const Stored& stored, Set set, Remove remove) {
  char value[kMetaSize];
  uint32_t flags = stored.has_created ? kHasCreated : 0;
  std::memcpy(value, &stored.attributes, sizeof(uint32_t));
  std::memcpy(value + sizeof(uint32_t), &flags, sizeof(uint32_t));
  std::memcpy(value + 2 * sizeof(uint32_t), &stored.created, sizeof stored.created);
  if (set(kMetaName, value, sizeof value) != 0) return false;
  int error = errno;
  if (stored.old_attributes) remove(kOldAttributesName);
  if (stored.old_created) remove(kOldCreatedName);
  errno = error;
  return true;
}

Stored ReadStored(const std::string& host, bool need_created = true) {
  return ReadStored([&](const char* name, void* value, size_t size) {
    return lgetxattr(host.c_str(), name, value, size);
  }, need_created);
}

Stored ReadStored(int fd, bool need_created = true) {
  return ReadStored([&](const char* name, void* value, size_t size) {
    return fgetxattr(fd, name, value, size);
  }, need_created);
}

bool WriteStored(const std::string& host, const Stored& stored) {
  return WriteStored(
      stored,
      [&](const char* name, const void* value, size_t size) {
        return lsetxattr(host.c_str(), name, value, size, 0);
      },
      [&](const char* name) { return lremovexattr(host.c_str(), name); });
}

bool WriteStored(int fd, const Stored& stored) {
  return WriteStored(
      stored,
      [&](const char* name, const void* value, size_t size) {
        return fsetxattr(fd, name, value, size, 0);
      },
      [&](const char* name) { return fremovexattr(fd, name); });
}

// Changes what `change` changes, writing only when something differs or the older form is
// still there, so setting what a file already has costs a read alone.
template <typename Target, typename Change>
bool Update(const Target& target, Change change) {
  Stored stored = ReadStored(target);
  Stored before = stored;
  change(stored);
  if (stored.is_new && stored.attributes == before.attributes &&
      stored.has_created == before.has_created && stored.created == before.created) {
    return true;
  }
  return WriteStored(target, stored);
}

DWORD VisibleAttributes(uint32_t stored, const struct stat& st) {
  DWORD attributes = stored & kSettableAttributes;
  if (S_ISDIR(st.st_mode)) return attributes | FILE_ATTRIBUTE_DIRECTORY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

FileMeta ReadMeta(const std::string& host, const struct stat& st) {
  Stored stored = ReadStored(host);
  return FileMeta{VisibleAttributes(stored.attributes, st),
                  stored.has_created ? stored.created : FileTimeFromTimespec(st.st_mtim)};
}

DWORD ReadAttributes(const std::string& host, const struct stat& st) {
  return VisibleAttributes(ReadStored(host, false).attributes, st);
}

DWORD ReadAttributes(int fd, const struct stat& st) {
  return VisibleAttributes(ReadStored(fd, false).attributes, st);
}

bool WriteAttributes(const std::string& host, DWORD attributes) {
  return Update(host, [&](Stored& stored) { stored.attributes = attributes & kSettableAttributes; });
}

bool WriteAttributes(int fd, DWORD attributes) {
  return Update(fd, [&](Stored& stored) { stored.attributes = attributes & kSettableAttributes; });
}

uint64_t ReadCreationTime(const std::string& host, const struct stat& st) {
  return ReadMeta(host, st).creation_time;
}

bool WriteCreationTime(int fd, uint64_t file_time) {
  return Update(fd, [&](Stored& stored) {
    stored.has_created = true;
    stored.created = file_time;
  });
}

bool DescribeNewFolder(const std::string& host) {
  return WriteStored(host, Stored{});
}

bool DescribeNewFile(int fd, DWORD attributes, uint64_t file_time) {
  Stored stored;
  stored.attributes = attributes & kSettableAttributes;
  stored.has_created = true;
  stored.created = file_time;
  return WriteStored(fd, stored);
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
