// What the handheld keeps with a file that the host does not: its attribute bits and its
// creation time, stored together in one extended attribute (files of older devices keep one
// attribute for each; they read the same and move to the one on their first change). The host runs as root, so mode bits could
// not enforce read-only; the platform checks these attributes itself.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "coredll/windows.h"

namespace coredll {

// Attribute bits a caller may set; DIRECTORY comes from the host.
inline constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;

// The attributes of an existing file or folder: the stored bits, DIRECTORY for folders,
// NORMAL for a file with none.
DWORD ReadAttributes(const std::string& host, const struct stat& st);
DWORD ReadAttributes(int fd, const struct stat& st);

// Both at once, for one read of the file's metadata.
struct FileMeta {
  DWORD attributes = 0;        // as ReadAttributes
  uint64_t creation_time = 0;  // as ReadCreationTime
};
FileMeta ReadMeta(const std::string& host, const struct stat& st);

// Describes a file that was just made and has nothing stored yet, in one write.
bool DescribeNewFile(int fd, DWORD attributes, uint64_t file_time);
// Describes a folder that was just made as having no bits and no creation time of its own,
// which is how it reads before that too, so it needs no care against being seen between;
// later lookups then find the one attribute at once.
bool DescribeNewFolder(const std::string& host);

// Stores the settable bits of `attributes`, keeping the creation time; false with errno on
// failure.
bool WriteAttributes(const std::string& host, DWORD attributes);
bool WriteAttributes(int fd, DWORD attributes);

// 100-ns intervals since 1601 (FILETIME) of the creation, falling back to the write time.
uint64_t ReadCreationTime(const std::string& host, const struct stat& st);
bool WriteCreationTime(int fd, uint64_t file_time);

// FILETIME values and host times.
uint64_t FileTimeFromTimespec(const struct timespec& ts);
struct timespec TimespecFromFileTime(uint64_t file_time);
inline uint64_t FileTimeValue(const FILETIME& ft) {
  return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME MakeFileTime(uint64_t value) {
  return FILETIME{DWORD(value), DWORD(value >> 32)};
}

}  // namespace coredll
