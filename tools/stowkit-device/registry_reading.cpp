#include "registry_reading.h"

namespace stowkit::device_tool {
namespace {

LONG ReadValue(HKEY key, DWORD index, RegistryValue& value) {
  for (;;) {
    WCHAR name[MAX_PATH];
    DWORD chars = MAX_PATH, size = 0;
    LONG result = RegEnumValueW(key, index, name, &chars, nullptr, &value.type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    value.data.assign(size, '\0');
    chars = MAX_PATH;
    result = RegEnumValueW(key, index, name, &chars, nullptr, &value.type,
                           reinterpret_cast<BYTE*>(value.data.data()), &size);
    if (result == ERROR_MORE_DATA) continue;  // it grew in between: ask again
    if (result == ERROR_SUCCESS) value.name.assign(name, chars);
    return result;
  }
}

}  // namespace

const std::array<RootKey, 4> kRootKeys = {{
    {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKEY_USERS", HKEY_USERS},
}};

HKEY RootHandle(std::u16string_view full_name) {
  for (const RootKey& root : kRootKeys) {
    if (root.name == full_name) return root.handle;
  }
  return nullptr;
}

LONG ReadKey(HKEY key, std::vector<RegistryValue>& values, std::vector<std::u16string>& subkeys) {
  LONG result;
  for (DWORD index = 0;; ++index) {
    RegistryValue value;
    if ((result = ReadValue(key, index, value)) != ERROR_SUCCESS) break;
    values.push_back(std::move(value));
  }
  if (result != ERROR_NO_MORE_ITEMS) return result;
  for (DWORD index = 0;; ++index) {
    WCHAR name[MAX_PATH];
    DWORD chars = MAX_PATH;
    result = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) break;
    subkeys.emplace_back(name, chars);
  }
  return result == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : result;
}

}  // namespace stowkit::device_tool
