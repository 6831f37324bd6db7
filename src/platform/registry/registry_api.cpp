// The Win32 registry calls over the device's registry store: argument checks, predefined
// roots, key handles and error numbers. The store is "<device>/registry.db", opened on the
// first call and again after the process moves to another device.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device/device_state.h"
#include "platform/processes/handles.h"
#include "platform/registry/registry_store.h"

namespace coredll {
namespace {

constexpr size_t kMaxNameChars = 255;
constexpr uintptr_t kFirstRoot = 0x80000000u;
// The predefined roots in the order of their handle values, by the names they are kept under.
const std::vector<std::u16string> kRootNames = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                                u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"};

class KeyObject : public KernelObject {
 public:
  KeyObject(std::shared_ptr<RegistryStore> store, KeyId id) : store(std::move(store)), id(id) {}
  const std::shared_ptr<RegistryStore> store;  // the device's registry the key was opened in
  const KeyId id;
};

// A key as a call starts from it.
struct KeyRef {
  std::shared_ptr<RegistryStore> store;
  KeyId id = 0;
  bool root = false;
};

enum class Access { kRead, kWrite };

LONG ErrorFrom(StoreStatus status, Access access) {
  switch (status) {
    case StoreStatus::kOk: return ERROR_SUCCESS;
    case StoreStatus::kNotFound: return ERROR_FILE_NOT_FOUND;
    case StoreStatus::kKeyDeleted: return ERROR_KEY_DELETED;
    case StoreStatus::kTooDeep: return ERROR_INVALID_PARAMETER;
    case StoreStatus::kBusy: return ERROR_BUSY;
    case StoreStatus::kFull: return ERROR_DISK_FULL;
    case StoreStatus::kCannotOpen: return ERROR_CANTOPEN;
    case StoreStatus::kIoError: break;
  }
  return access == Access::kWrite ? ERROR_CANTWRITE : ERROR_CANTREAD;
}

// Enumeration past the last item is the end of the list, not a missing item.
LONG EnumError(StoreStatus status) {
  return status == StoreStatus::kNotFound ? ERROR_NO_MORE_ITEMS
                                          : ErrorFrom(status, Access::kRead);
}

struct OpenRegistry {
  std::mutex mutex;
  unsigned generation = 0;
  std::shared_ptr<RegistryStore> store;
  // The store of each open batch, innermost last: a batch ends where it began even when
  // the process has moved to another device meanwhile.
  std::vector<std::shared_ptr<RegistryStore>> batches;
};

OpenRegistry& Registry() {
  static OpenRegistry* open = new OpenRegistry;  // outlives every static destructor
  return *open;
}

LONG CurrentStore(std::shared_ptr<RegistryStore>& store) {
  OpenRegistry* open = &Registry();
  std::lock_guard lock(open->mutex);
  unsigned generation = DeviceGeneration();
  if (!open->store || open->generation != generation) {
    open->store.reset();
    std::string folder = DeviceRoot();
    if (folder.empty()) return ERROR_CANTOPEN;
    StoreStatus status;
    open->store = RegistryStore::Open(folder + "/registry.db", kRootNames, status);
    if (!open->store) return ErrorFrom(status, Access::kRead);
    open->generation = generation;
  }
  store = open->store;
  return ERROR_SUCCESS;
}

bool IsRoot(HKEY key) {
  uintptr_t value = reinterpret_cast<uintptr_t>(key);
  return value >= kFirstRoot && value - kFirstRoot < kRootNames.size();
}

// Registry calls report through their result and leave last-error alone, so the handle is
// looked up without GetHandle<T>.
std::shared_ptr<KeyObject> KeyOf(HKEY key) {
  return std::dynamic_pointer_cast<KeyObject>(LookupHandle(static_cast<HANDLE>(key)));
}

LONG Resolve(HKEY key, KeyRef& ref) {
  if (IsRoot(key)) {
    LONG error = CurrentStore(ref.store);
    if (error != ERROR_SUCCESS) return error;
    ref.id = ref.store->RootId(reinterpret_cast<uintptr_t>(key) - kFirstRoot);
    ref.root = true;
    return ERROR_SUCCESS;
  }
  auto object = KeyOf(key);
  if (!object) return ERROR_INVALID_HANDLE;
  ref.store = object->store;
  ref.id = object->id;
  return ERROR_SUCCESS;
}

// Splits "A\B\C" into its names; null is the empty path. False for a leading '\', an empty
// name in the middle or a name longer than the platform allows; a trailing '\' is ignored.
bool SplitPath(LPCWSTR subkey, std::vector<std::u16string>& names) {
  names.clear();
  if (!subkey) return true;
  std::u16string_view rest(subkey);
  while (!rest.empty()) {
    size_t cut = rest.find(u'\\');
    std::u16string_view name = rest.substr(0, cut);
    if (name.empty() || name.size() > kMaxNameChars) return false;
    names.emplace_back(name);
    rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut + 1);
  }
  return true;
}

std::u16string_view NameOf(LPCWSTR name) { return name ? std::u16string_view(name) : u""; }

HKEY NewKeyHandle(const std::shared_ptr<RegistryStore>& store, KeyId id) {
  return static_cast<HKEY>(AddHandle(std::make_shared<KeyObject>(store, id)));
}

// Copies `name` with its terminator when `*chars` has room, else reports the room needed.
bool CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD chars) {
  if (name.size() + 1 > *chars) {
    *chars = DWORD(name.size() + 1);
    return false;
  }
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  *chars = DWORD(name.size());
  return true;
}

void ClearClass(LPWSTR class_name, LPDWORD class_chars, LPFILETIME last_write) {
  if (class_name && class_chars && *class_chars > 0) class_name[0] = 0;
  if (class_chars) *class_chars = 0;
  if (last_write) *last_write = FILETIME{};
}

}  // namespace
}  // namespace coredll

using namespace coredll;

LONG RegCreateKeyExW(HKEY key, LPCWSTR subkey, DWORD, LPWSTR, DWORD, REGSAM,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::u16string> path;
  if (!subkey || !SplitPath(subkey, path)) return ERROR_INVALID_PARAMETER;
  KeyRef from;
  LONG error = Resolve(key, from);
  if (error != ERROR_SUCCESS) return error;
  KeyId id = from.id;
  bool created = false;
  if (!(from.root && path.empty())) {
    error = ErrorFrom(from.store->CreateKey(from.id, path, id, created), Access::kWrite);
    if (error != ERROR_SUCCESS) return error;
  }
  *result = from.root && path.empty() ? key : NewKeyHandle(from.store, id);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subkey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::u16string> path;
  if (!SplitPath(subkey, path)) return ERROR_INVALID_PARAMETER;
  KeyRef from;
  LONG error = Resolve(key, from);
  if (error != ERROR_SUCCESS) return error;
  if (from.root && path.empty()) {
    *result = key;
    return ERROR_SUCCESS;
  }
  KeyId id = 0;
  error = ErrorFrom(from.store->OpenKey(from.id, path, id), Access::kRead);
  if (error == ERROR_SUCCESS) *result = NewKeyHandle(from.store, id);
  return error;
}

LONG RegCloseKey(HKEY key) {
  if (IsRoot(key)) return ERROR_SUCCESS;
  if (!KeyOf(key) || !RemoveHandle(static_cast<HANDLE>(key))) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if ((!data && size > 0) || NameOf(name).size() > kMaxNameChars) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  return ErrorFrom(ref.store->SetValue(ref.id, NameOf(name), type, bytes), Access::kWrite);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  StoredValue value;
  error = ErrorFrom(ref.store->GetValue(ref.id, NameOf(name), value), Access::kRead);
  if (error != ERROR_SUCCESS) return error;
  if (type) *type = value.type;
  DWORD needed = DWORD(value.data.size());
  if (data && *size < needed) error = ERROR_MORE_DATA;
  else if (data) std::memcpy(data, value.data.data(), needed);
  if (size) *size = needed;
  return error;
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name) {
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  return ErrorFrom(ref.store->DeleteValue(ref.id, NameOf(name)), Access::kWrite);
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subkey) {
  std::vector<std::u16string> path;
  if (!SplitPath(subkey, path) || path.empty()) return ERROR_INVALID_PARAMETER;
  KeyRef from;
  LONG error = Resolve(key, from);
  if (error != ERROR_SUCCESS) return error;
  return ErrorFrom(from.store->DeleteKey(from.id, path), Access::kWrite);
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD,
                   LPWSTR class_name, LPDWORD class_chars, LPFILETIME last_write) {
  if (!name || !name_chars) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  std::u16string found;
  error = EnumError(ref.store->SubkeyAt(ref.id, index, found));
  if (error != ERROR_SUCCESS) return error;
  if (!CopyName(found, name, name_chars)) return ERROR_MORE_DATA;
  ClearClass(class_name, class_chars, last_write);
  return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD,
                   LPDWORD type, LPBYTE data, LPDWORD size) {
  if (!name || !name_chars || (data && !size)) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  StoredValue value;
  error = EnumError(ref.store->ValueAt(ref.id, index, value));
  if (error != ERROR_SUCCESS) return error;
  DWORD needed = DWORD(value.data.size());
  bool data_fits = !data || *size >= needed;
  if (type) *type = value.type;
  if (size) *size = needed;
  if (!data_fits) {
    *name_chars = DWORD(value.name.size() + 1);
    return ERROR_MORE_DATA;
  }
  if (!CopyName(value.name, name, name_chars)) return ERROR_MORE_DATA;
  if (data) std::memcpy(data, value.data.data(), needed);
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_chars, LPDWORD,
                      LPDWORD subkeys, LPDWORD max_subkey_chars, LPDWORD max_class_chars,
                      LPDWORD values, LPDWORD max_value_name_chars, LPDWORD max_value_bytes,
                      LPDWORD security_descriptor_bytes, LPFILETIME last_write) {
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  KeySummary summary;
  error = ErrorFrom(ref.store->Summarize(ref.id, summary), Access::kRead);
  if (error != ERROR_SUCCESS) return error;
  ClearClass(class_name, class_chars, last_write);
  if (subkeys) *subkeys = summary.subkeys;
  if (max_subkey_chars) *max_subkey_chars = summary.longest_subkey;
  if (max_class_chars) *max_class_chars = 0;
  if (values) *values = summary.values;
  if (max_value_name_chars) *max_value_name_chars = summary.longest_value_name;
  if (max_value_bytes) *max_value_bytes = summary.longest_data;
  if (security_descriptor_bytes) *security_descriptor_bytes = 0;
  return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key) {
  KeyRef ref;
  LONG error = Resolve(key, ref);
  if (error != ERROR_SUCCESS) return error;
  return ErrorFrom(ref.store->Flush(), Access::kWrite);
}

LONG RegBeginBatch(void) {
  std::shared_ptr<RegistryStore> store;
  LONG error = CurrentStore(store);
  if (error == ERROR_SUCCESS) error = ErrorFrom(store->BeginBatch(), Access::kWrite);
  if (error != ERROR_SUCCESS) return error;
  OpenRegistry& open = Registry();
  std::lock_guard lock(open.mutex);
  open.batches.push_back(std::move(store));
  return ERROR_SUCCESS;
}

LONG RegEndBatch(void) {
  std::shared_ptr<RegistryStore> store;
  {
    OpenRegistry& open = Registry();
    std::lock_guard lock(open.mutex);
    if (open.batches.empty()) return ERROR_SUCCESS;
    store = std::move(open.batches.back());
    open.batches.pop_back();
  }
  return ErrorFrom(store->EndBatch(), Access::kWrite);
}
