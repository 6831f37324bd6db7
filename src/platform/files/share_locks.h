// Share modes of open files, held across every process of the device without a server.
//
// Each open file description takes shared kernel locks (open file description locks) on
// reserved offsets far past any real data: one saying "open", one per access it has, one per
// access it refuses to share. A newcomer asks whether an exclusive lock on the markers that
// concern it could be taken: if not, somebody holds an access it refuses to share, or
// refuses an access it wants. The locks die with their descriptor, so a crashed process
// leaves nothing behind. A gate (a whole-file flock) makes the check-and-take one step.
// A delete needs no gate: one exclusive lock on every marker is its check and its take at
// once, and whoever meets that lock waits until the delete is done, as at a gate.
#pragma once

#include "coredll/windows.h"

namespace coredll {

// Holds the gate of a file for the life of the object, serializing share checks on it.
class ShareGate {
 public:
  explicit ShareGate(int fd);
  ~ShareGate();
  ShareGate(const ShareGate&) = delete;
  ShareGate& operator=(const ShareGate&) = delete;

 private:
  int fd_;
};

// Takes the gate of a descriptor that is closed as soon as its work is done: the close
// opens the gate again, a call less than ShareGate. The descriptor must not be shared.
void EnterGateUntilClose(int fd);

// Under the gate: checks `access` and `share` against every other open of the file and, if
// they agree, marks this descriptor's own. Returns ERROR_SUCCESS or ERROR_SHARING_VIOLATION.
DWORD TakeShare(int fd, DWORD access, DWORD share);

// Marks this descriptor's `access` and `share` without checking others: alone it serves a
// file that nobody else can have open yet (one without a name), which needs no gate either.
// False on failure.
bool MarkNewShare(int fd, DWORD access, DWORD share);

// Under the gate: ERROR_SHARING_VIOLATION while any descriptor has the file open,
// ERROR_ACCESS_DENIED while it is a running program or a loaded library (processes hold
// that marker), ERROR_FILE_NOT_FOUND when a delete took the file while this waited for
// it, else ERROR_SUCCESS.
DWORD CheckUnused(int fd);

// Without the gate, on a descriptor open for writing: takes every marker exclusively,
// which succeeds only while no other descriptor has the file open, and then keeps every
// open, check and lock out until `fd` is closed. False when the file is in use (or being
// deleted by another): CheckUnused under the gate then tells how.
bool LockUnused(int fd);

// Marks `fd` as the file of a running program or a loaded library for as long as it stays
// open: others may read it, but not write it (ERROR_SHARING_VIOLATION) or delete it
// (ERROR_ACCESS_DENIED).
bool HoldAsModule(int fd);

}  // namespace coredll
