// A device library that registers itself: a registry value written by DllRegisterServer
// and removed by DllUnregisterServer, each answering with the registry's own result.
#include "coredll/windows.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const WCHAR kKey[] = u"Software\\StowkitTests\\SelfRegister";

}  // namespace

EXPORT HRESULT DllRegisterServer() {
  HKEY key;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
  const WCHAR text[] = u"registered";
  result = RegSetValueExW(key, u"State", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          sizeof text);
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(result);
}

EXPORT HRESULT DllUnregisterServer() {
  HKEY key;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, 0, &key);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
  result = RegDeleteValueW(key, u"State");
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(result);
}
