#include "platform/share_locks.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <initializer_list>
#include <utility>

namespace coredll {
namespace {

constexpr off_t kMarkerBase = 0x7FFFFFFF00000000LL;

enum Marker : off_t {
  kOpen = kMarkerBase,
  kHasRead,
  kHasWrite,
  kDeniesRead,
  kDeniesWrite,
  kModule,
};

bool Lock(int fd, short type, Marker marker, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = marker;
  lock.l_len = 1;
  int rc;
  do {
    rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// True when another open file description holds a lock on `marker`.
bool Held(int fd, Marker marker) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = marker;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

}  // namespace

// The gate is a whole-file flock: unlike an exclusive record lock it needs no write access,
// so read-only descriptors (all a running program allows) can pass through it too.
ShareGate::ShareGate(int fd) : fd_(fd) {
  while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
}

ShareGate::~ShareGate() { flock(fd_, LOCK_UN); }

DWORD TakeShare(int fd, DWORD access, DWORD share) {
  bool reads = access & GENERIC_READ;
  bool writes = access & GENERIC_WRITE;
  bool shares_read = share & FILE_SHARE_READ;
  bool shares_write = share & FILE_SHARE_WRITE;
  if ((reads && Held(fd, kDeniesRead)) || (writes && Held(fd, kDeniesWrite)) ||
      (!shares_read && Held(fd, kHasRead)) || (!shares_write && Held(fd, kHasWrite))) {
    return ERROR_SHARING_VIOLATION;
  }
  for (auto [wanted, marker] : {std::pair{true, kOpen}, std::pair{reads, kHasRead},
                                std::pair{writes, kHasWrite}, std::pair{!shares_read, kDeniesRead},
                                std::pair{!shares_write, kDeniesWrite}}) {
    if (wanted && !Lock(fd, F_RDLCK, marker, false)) return ERROR_SHARING_VIOLATION;
  }
  return ERROR_SUCCESS;
}

bool HoldAsModule(int fd) {
  ShareGate gate(fd);
  return Lock(fd, F_RDLCK, kModule, false) && TakeShare(fd, GENERIC_READ, FILE_SHARE_READ) == ERROR_SUCCESS;
}

DWORD CheckUnused(int fd) {
  if (Held(fd, kModule)) return ERROR_ACCESS_DENIED;
  if (Held(fd, kOpen)) return ERROR_SHARING_VIOLATION;
  return ERROR_SUCCESS;
}

}  // namespace coredll
