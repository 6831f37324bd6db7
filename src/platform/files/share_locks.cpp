#include "platform/files/share_locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

namespace coredll {
namespace {

constexpr off_t kMarkerBase = 0x7FFFFFFF00000000LL;

// The order of the first five matters: MarkNewShare locks neighbours as one range, and
// this order makes the opens that come by the thousand one range each: a new file written
// alone (open, write, denies both) and a file read by many (read, open).
enum Marker : off_t {
  kHasRead = kMarkerBase,
  kOpen,
  kHasWrite,
  kDeniesRead,
  kDeniesWrite,
  kModule,
};

// Locks `count` markers from `first` on.
bool Lock(int fd, short type, Marker first, bool wait, off_t count = 1) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = first;
  lock.l_len = count;
  int rc;
  do {
    rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// True when another open file description holds a lock on `marker` or on any of the
// `count` markers from it on that a lock of type `probe` would meet: an exclusive probe
// meets every lock, a shared one only exclusive locks.
bool Held(int fd, Marker marker, off_t count = 1, short probe = F_WRLCK) {
  struct flock lock = {};
  lock.l_type = probe;
  lock.l_whence = SEEK_SET;
  lock.l_start = marker;
  lock.l_len = count;
  return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Every marker: what LockUnused takes, and what an open that nobody else has meets.
constexpr off_t kMarkerCount = kModule - kHasRead + 1;

// Waits while a delete holds the markers; true when it had to. The delete's close ends it.
bool WaitOutDelete(int fd) {
  // Only a delete (LockUnused) holds markers exclusively.
  if (!Held(fd, kHasRead, kMarkerCount, F_RDLCK)) return false;
  if (Lock(fd, F_RDLCK, kOpen, true)) Lock(fd, F_UNLCK, kOpen, false);
  return true;
}

DWORD TryTakeShare(int fd, DWORD access, DWORD share) {
  bool reads = access & GENERIC_READ;
  bool writes = access & GENERIC_WRITE;
  bool shares_read = share & FILE_SHARE_READ;
  bool shares_write = share & FILE_SHARE_WRITE;
  if ((reads && Held(fd, kDeniesRead)) || (writes && Held(fd, kDeniesWrite)) ||
      (!shares_read && Held(fd, kHasRead)) || (!shares_write && Held(fd, kHasWrite))) {
    return ERROR_SHARING_VIOLATION;
  }
  return MarkNewShare(fd, access, share) ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION;
}

}  // namespace

// The gate is a whole-file flock: unlike an exclusive record lock it needs no write access,
// so read-only descriptors (all a running program allows) can pass through it too.
ShareGate::ShareGate(int fd) : fd_(fd) { EnterGateUntilClose(fd); }

void EnterGateUntilClose(int fd) {
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {}
}

ShareGate::~ShareGate() { flock(fd_, LOCK_UN); }

// Each run of neighbouring markers is one lock: an open costs a call on the file less for
// each, and a marker reads as held all the same.
bool MarkNewShare(int fd, DWORD access, DWORD share) {
  const bool wanted[] = {(access & GENERIC_READ) != 0, true, (access & GENERIC_WRITE) != 0,
                         !(share & FILE_SHARE_READ), !(share & FILE_SHARE_WRITE)};
  constexpr off_t kCount = sizeof wanted / sizeof wanted[0];
  for (off_t first = 0; first < kCount;) {
    off_t end = first;
    while (end < kCount && wanted[end]) ++end;
    if (end > first && !Lock(fd, F_RDLCK, Marker(kHasRead + first), false, end - first)) {
      return false;
    }
    first = end == first ? first + 1 : end;
  }
  return true;
}

// A refusal is looked into only when it comes, so the usual open pays nothing for deletes.
// One that a delete may have caused is tried again once the delete is over: waited out, or
// already ended when looked for. The file then has no name, so no later delete can come.
DWORD TakeShare(int fd, DWORD access, DWORD share) {
  for (bool retried = false;; retried = true) {
    DWORD error = TryTakeShare(fd, access, share);
    if (error != ERROR_SHARING_VIOLATION || (!WaitOutDelete(fd) && retried)) return error;
  }
}

bool HoldAsModule(int fd) {
  ShareGate gate(fd);
  for (bool retried = false; !Lock(fd, F_RDLCK, kModule, false); retried = true) {
    if (!WaitOutDelete(fd) && retried) return false;
  }
  return TakeShare(fd, GENERIC_READ, FILE_SHARE_READ) == ERROR_SUCCESS;
}

// Every open holds kOpen, so a file that nobody has open holds no marker at all: one
// question over them all answers for the usual case, a file about to be deleted.
DWORD CheckUnused(int fd) {
  if (!Held(fd, kHasRead, kMarkerCount)) return ERROR_SUCCESS;
  WaitOutDelete(fd);
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_nlink == 0) return ERROR_FILE_NOT_FOUND;
  if (Held(fd, kModule)) return ERROR_ACCESS_DENIED;
  if (Held(fd, kOpen)) return ERROR_SHARING_VIOLATION;
  return ERROR_SUCCESS;
}

bool LockUnused(int fd) { return Lock(fd, F_WRLCK, kHasRead, false, kMarkerCount); }

}  // namespace coredll
