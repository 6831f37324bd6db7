// The process's one handle table. A handle value is an index in disguise: 0 and -1 are never
// handed out, and the pseudo handles (0x41 current thread, 0x42 current process) lie below
// the first real value. Objects are shared, so a call that is using one stays safe if
// another thread closes its handle meanwhile.
#pragma once

#include <memory>

#include "coredll/windows.h"

namespace coredll {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // The access rights its handle was opened with (GENERIC_READ, FILE_MAP_WRITE...); objects
  // that are not opened for a kind of access grant none and are never asked for any.
  virtual DWORD GrantedAccess() const { return 0; }
};

// Registers `object` and returns its new handle.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// The object behind `handle`, or nullptr; no last-error is set.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// What GetHandle found: the object, or the error the exported call reports instead.
template <typename T>
struct HandleLookup {
  std::shared_ptr<T> object;
  DWORD error = ERROR_SUCCESS;

  explicit operator bool() const { return object != nullptr; }
  T* operator->() const { return object.get(); }
};

// The object behind `handle` if it is a T opened with every right in `access`; otherwise
// ERROR_INVALID_HANDLE (not open, or not a T) or ERROR_ACCESS_DENIED. The one place that
// checks a handle's type and access, so every call answers the same way and in that order.
template <typename T>
HandleLookup<T> GetHandle(HANDLE handle, DWORD access = 0) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) return {nullptr, ERROR_INVALID_HANDLE};
  if ((object->GrantedAccess() & access) != access) return {nullptr, ERROR_ACCESS_DENIED};
  return {std::move(object), ERROR_SUCCESS};
}

// Forgets `handle`; the object goes when its last user lets go. False if it was not open.
bool RemoveHandle(HANDLE handle);

}  // namespace coredll
