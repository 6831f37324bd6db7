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
};

// Registers `object` and returns its new handle.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// The object behind `handle` if it is of type T; otherwise nullptr with ERROR_INVALID_HANDLE
// as last-error.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> GetHandle(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Forgets `handle`; the object goes when its last user lets go. False if it was not open.
bool RemoveHandle(HANDLE handle);

}  // namespace coredll
