#include "platform/processes/handles.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace coredll {
namespace {

constexpr uintptr_t kFirstHandle = 0x100;
constexpr uintptr_t kHandleStep = 4;

struct HandleTable {
  std::mutex mutex;
  std::vector<std::shared_ptr<KernelObject>> slots;
  std::vector<size_t> free_slots;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives every static destructor
  return *table;
}

bool SlotOf(HANDLE handle, size_t& slot) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value < kFirstHandle || (value - kFirstHandle) % kHandleStep != 0) return false;
  slot = (value - kFirstHandle) / kHandleStep;
  return true;
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& t = Table();
  std::lock_guard lock(t.mutex);
  size_t slot;
  if (!t.free_slots.empty()) {
    slot = t.free_slots.back();
    t.free_slots.pop_back();
    t.slots[slot] = std::move(object);
  } else {
    slot = t.slots.size();
    t.slots.push_back(std::move(object));
  }
  return reinterpret_cast<HANDLE>(kFirstHandle + slot * kHandleStep);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& t = Table();
  size_t slot;
  std::lock_guard lock(t.mutex);
  if (!SlotOf(handle, slot) || slot >= t.slots.size()) return nullptr;
  return t.slots[slot];
}

bool RemoveHandle(HANDLE handle) {
  HandleTable& t = Table();
  size_t slot;
  std::shared_ptr<KernelObject> doomed;  // released after the lock
  std::lock_guard lock(t.mutex);
  if (!SlotOf(handle, slot) || slot >= t.slots.size() || !t.slots[slot]) return false;
  doomed = std::move(t.slots[slot]);
  t.free_slots.push_back(slot);
  return true;
}

}  // namespace coredll
