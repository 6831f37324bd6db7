// CreateFileW and the calls on an open file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/device/faults.h"
#include "platform/files/file_meta.h"
#include "platform/files/file_object.h"
#include "platform/files/paths.h"
#include "platform/files/share_locks.h"

namespace coredll {
namespace {

// Checks what an existing file allows before anything is opened or truncated.
DWORD CheckExisting(const ResolvedPath& path, DWORD access, DWORD disposition) {
  if (S_ISDIR(path.st.st_mode)) return ERROR_ACCESS_DENIED;
  if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
  bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  bool read_only = ReadAttributes(path.host, path.st) & FILE_ATTRIBUTE_READONLY;
  if (read_only && ((access & GENERIC_WRITE) || replaces)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// Opens the host file for what the handle will do; the platform, not the host, decides
// what the handle may do. A running program cannot be opened for writing at all.
int OpenHost(const ResolvedPath& path, DWORD access, DWORD disposition, bool create) {
  bool writes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS ||
                disposition == TRUNCATE_EXISTING;
  int flags = (writes ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | (HostMode() ? 0 : O_NOFOLLOW);
  if (create) flags |= O_CREAT | (disposition == CREATE_NEW ? O_EXCL : 0);
  return open(path.host.c_str(), flags, 0644);
}

uint64_t Now() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return FileTimeFromTimespec(ts);
}

bool DescribeNew(int fd, DWORD flags_and_attributes) {
  DWORD attributes = (flags_and_attributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  return DescribeNewFile(fd, attributes, Now());
}

// A new file appears under its name with its attributes and creation time, or not at all: it
// is made without a name in its folder (O_TMPFILE), described, then linked under its name. A
// program killed in between leaves nothing, where a named file without its attributes would
// read as "normal" for ever. A host file system without unnamed files gets a named one that
// is described at once. The file's share marks are taken with it: before its name exists
// for an unnamed one, under the gate for a named one. On failure the error says why
// (ERROR_SHARING_VIOLATION: the share was refused).
struct Opened {
  UniqueFd fd;
  DWORD error = ERROR_SUCCESS;  // why `fd` is not valid
};

// Set once linking a descriptor itself has been refused for want of the privilege it needs.
std::atomic<bool> link_through_proc{false};

// Gives the unnamed file `fd` its name `host`. The descriptor itself is linked when the
// process may (it needs CAP_DAC_READ_SEARCH, which root has), which spares the kernel a
// walk through /proc; else its /proc/self/fd entry is.
bool LinkUnnamed(int fd, const std::string& host) {
  if (!link_through_proc.load(std::memory_order_relaxed)) {
    if (linkat(fd, "", AT_FDCWD, host.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT) return false;
  }
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, host.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
  link_through_proc.store(true, std::memory_order_relaxed);
  return true;
}

// The error of a failed open or create: an existing name is ERROR_FILE_EXISTS.
DWORD OpenError(int error) { return error == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(error); }

Opened CreateDescribed(const ResolvedPath& path, DWORD flags_and_attributes, DWORD access,
                       DWORD share) {
  const std::string& host = path.host;
  std::string folder = host.substr(0, host.rfind('/'));
  UniqueFd fd(open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644));
  bool unnamed = fd.valid();
  if (!unnamed) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return {UniqueFd(), OpenError(errno)};
    }
    fd = UniqueFd(open(host.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd.valid()) return {UniqueFd(), OpenError(errno)};
  }
  CheckFault(FaultOp::kDescribe, path.device);
  bool made = DescribeNew(fd.get(), flags_and_attributes);
  if (made && unnamed) {
    // Marked while nobody else can open it, so no check is needed.
    made = MarkNewShare(fd.get(), access, share);
    made = made && LinkUnnamed(fd.get(), host);
  } else if (made) {
    ShareGate gate(fd.get());
    if (DWORD refused = TakeShare(fd.get(), access, share)) {
      unlink(host.c_str());
      return {UniqueFd(), refused};
    }
  }
  if (made) return {std::move(fd), ERROR_SUCCESS};
  DWORD error = OpenError(errno);
  if (!unnamed) unlink(host.c_str());
  return {UniqueFd(), error};
}

// Reads smaller than this from a steady handle are served from one block read ahead: a
// caller reading a text in small pieces costs one call per block, not one per piece.
constexpr DWORD kReadAhead = 64 * 1024;

// Reads `size` bytes at `at` as pread does, through the block kept ahead: refilled at `at`
// when it does not hold them. Returns the bytes copied, or -1 with errno set (the caller
// retries an interrupted read, which refills).
ssize_t ReadSteady(FileObject& file, char* buffer, DWORD size, uint64_t at) {
  uint64_t end = file.ahead_at + file.ahead.size();
  bool held = at >= file.ahead_at && (at + size <= end || (file.ahead_ends && at <= end));
  if (!held) {
    file.ahead.resize(kReadAhead);
    ssize_t n = pread(file.fd(), file.ahead.data(), kReadAhead, off_t(at));
    file.ahead.resize(n < 0 ? 0 : size_t(n));
    file.ahead_at = at;
    file.ahead_ends = n >= 0 && size_t(n) < kReadAhead;
    if (n < 0) return -1;
    end = at + file.ahead.size();
  }
  size_t count = size_t(std::min<uint64_t>(size, end - at));
  memcpy(buffer, file.ahead.data() + (at - file.ahead_at), count);
  return ssize_t(count);
}

}  // namespace
}  // namespace coredll

using namespace coredll;

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags_and_attributes, HANDLE) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  }
  ResolvedPath path;
  if (Resolution resolved = ResolvePath(name, path); !resolved) {
    return Fail(resolved.error), INVALID_HANDLE_VALUE;
  }
  if (path.name.empty()) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  if (Fault fault = CheckFault(FaultOp::kOpen, path.device)) {
    return Fail(fault.error), INVALID_HANDLE_VALUE;
  }
  if (path.exists) {
    if (DWORD error = CheckExisting(path, access, disposition)) {
      return Fail(error), INVALID_HANDLE_VALUE;
    }
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  }

  bool creates = !path.exists && !HostMode();
  Opened opened = creates ? CreateDescribed(path, flags_and_attributes, access, share)
                          : Opened{UniqueFd(OpenHost(path, access, disposition, !path.exists))};
  if (!creates && !opened.fd.valid()) opened.error = OpenError(errno);
  if (opened.error) return Fail(opened.error), INVALID_HANDLE_VALUE;
  UniqueFd fd = std::move(opened.fd);
  if (!creates) {
    ShareGate gate(fd.get());
    if (DWORD error = TakeShare(fd.get(), access, share)) {
      if (!path.exists) unlink(path.host.c_str());
      return Fail(error), INVALID_HANDLE_VALUE;
    }
    bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (path.exists && replaces && ftruncate(fd.get(), 0) != 0) {
      return FailErrno(), INVALID_HANDLE_VALUE;
    }
  }
  if (!HostMode() && path.exists && disposition == CREATE_ALWAYS) {
    DWORD attributes = (flags_and_attributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (!WriteAttributes(fd.get(), attributes)) return FailErrno(), INVALID_HANDLE_VALUE;
  }
  bool reopened = path.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  auto file = std::make_shared<FileObject>(std::move(fd), access, path.device, path.host);
  file->steady = !HostMode() && !(access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE);
  return AddHandle(std::move(file));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  auto file = GetHandle<FileObject>(handle, GENERIC_READ);
  if (!file) return Fail(file.error);
  if (!buffer && size) return Fail(ERROR_INVALID_PARAMETER);
  Fault fault = CheckFault(FaultOp::kRead, file->device_path());
  if (fault.error) return Fail(fault.error);
  if (fault.short_read) size /= 2;
  std::lock_guard lock(file->mutex());
  bool ahead = file->steady && size < kReadAhead;
  DWORD done = 0;
  while (done < size) {
    char* into = static_cast<char*>(buffer) + done;
    uint64_t at = file->position + done;
    ssize_t n = ahead ? ReadSteady(*file.object, into, size - done, at)
                      : pread(file->fd(), into, size - done, off_t(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailErrno();
    if (n == 0) break;
    done += DWORD(n);
  }
  file->position += done;
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  auto file = GetHandle<FileObject>(handle, GENERIC_WRITE);
  if (!file) return Fail(file.error);
  if (!buffer && size) return Fail(ERROR_INVALID_PARAMETER);
  if (Fault fault = CheckFault(FaultOp::kWrite, file->device_path())) return Fail(fault.error);
  std::lock_guard lock(file->mutex());
  DWORD done = 0;
  while (done < size) {
    ssize_t n = pwrite(file->fd(), static_cast<const char*>(buffer) + done, size - done,
                       off_t(file->position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      file->position += done;
      if (written) *written = done;
      return n < 0 ? FailErrno() : Fail(ERROR_DISK_FULL);
    }
    done += DWORD(n);
  }
  file->position += done;
  if (written) *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distance_high, DWORD method) {
  auto file = GetHandle<FileObject>(handle);
  if (!file) return Fail(file.error), INVALID_SET_FILE_POINTER;
  if (Fault fault = CheckFault(FaultOp::kSeek, file->device_path())) {
    return Fail(fault.error), INVALID_SET_FILE_POINTER;
  }
  std::lock_guard lock(file->mutex());
  int64_t base;
  struct stat st;
  switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = int64_t(file->position); break;
    case FILE_END:
      if (fstat(file->fd(), &st) != 0) return FailErrno(), INVALID_SET_FILE_POINTER;
      base = st.st_size;
      break;
    default: return Fail(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  }
  int64_t offset = distance_high ? int64_t((uint64_t(uint32_t(*distance_high)) << 32) |
                                           uint32_t(distance))
                                 : int64_t(distance);
  int64_t target = base + offset;
  if (target < 0) return Fail(ERROR_NEGATIVE_SEEK), INVALID_SET_FILE_POINTER;
  // Without a high word the caller can only be told 32 bits: a position past them fails
  // rather than wrapping.
  if (!distance_high && target > int64_t(UINT32_MAX)) {
    return Fail(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  }
  file->position = uint64_t(target);
  if (distance_high) *distance_high = LONG(uint64_t(target) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(target);
}

DWORD GetFileSize(HANDLE handle, LPDWORD size_high) {
  auto file = GetHandle<FileObject>(handle);
  if (!file) return Fail(file.error), INVALID_FILE_SIZE;
  if (Fault fault = CheckFault(FaultOp::kSize, file->device_path())) {
    return Fail(fault.error), INVALID_FILE_SIZE;
  }
  struct stat st;
  if (fstat(file->fd(), &st) != 0) return FailErrno(), INVALID_FILE_SIZE;
  if (size_high) *size_high = DWORD(uint64_t(st.st_size) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(st.st_size);
}

BOOL SetEndOfFile(HANDLE handle) {
  auto file = GetHandle<FileObject>(handle, GENERIC_WRITE);
  if (!file) return Fail(file.error);
  std::lock_guard lock(file->mutex());
  return ftruncate(file->fd(), off_t(file->position)) == 0 ? TRUE : FailErrno();
}

BOOL FlushFileBuffers(HANDLE handle) {
  auto file = GetHandle<FileObject>(handle, GENERIC_WRITE);
  if (!file) return Fail(file.error);
  return fdatasync(file->fd()) == 0 ? TRUE : FailErrno();
}

BOOL CloseHandle(HANDLE object) {
  uintptr_t value = reinterpret_cast<uintptr_t>(object);
  if (value == 0x41 || value == 0x42) return TRUE;  // pseudo handles are never closed
  return RemoveHandle(object) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
  auto file = GetHandle<FileObject>(handle);
  if (!file) return Fail(file.error);
  struct stat st;
  if (fstat(file->fd(), &st) != 0) return FailErrno();
  if (creation) *creation = MakeFileTime(ReadCreationTime(file->host_path(), st));
  if (access) *access = MakeFileTime(FileTimeFromTimespec(st.st_atim));
  if (write) *write = MakeFileTime(FileTimeFromTimespec(st.st_mtim));
  return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write) {
  auto file = GetHandle<FileObject>(handle, GENERIC_WRITE);
  if (!file) return Fail(file.error);
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (access) times[0] = TimespecFromFileTime(FileTimeValue(*access));
  if (write) times[1] = TimespecFromFileTime(FileTimeValue(*write));
  if ((access || write) && futimens(file->fd(), times) != 0) return FailErrno();
  if (creation && !WriteCreationTime(file->fd(), FileTimeValue(*creation))) return FailErrno();
  return TRUE;
}
