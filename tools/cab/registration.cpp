#include "registration.h"

#include "coredll/windows.h"
#include "services/file_services.h"
#include "services/registry_services.h"

namespace stowkit::cab {
namespace {

constexpr char16_t kInstallDir[] = u"InstallDir";
constexpr char16_t kCabFile[] = u"CabFile";
constexpr char16_t kFiles[] = u"Files";

std::u16string AppKey(std::u16string_view app_name) { return JoinPath(kAppsKey, app_name); }

// A multi-string: each text with its terminating zero, then one more zero.
bool WriteTextList(const std::u16string& key, const std::vector<std::u16string>& texts) {
  std::u16string data;
  for (const std::u16string& text : texts) data.append(text).push_back(u'\0');
  data.push_back(u'\0');
  HKEY handle = nullptr;
  LONG result =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, 0, nullptr, &handle, nullptr);
  if (result == ERROR_SUCCESS) {
    result =
        RegSetValueExW(handle, kFiles, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                       DWORD(data.size() * sizeof(char16_t)));
    RegCloseKey(handle);
  }
  SetLastError(DWORD(result));
  return result == ERROR_SUCCESS;
}

std::vector<std::u16string> ReadTextList(const std::u16string& key) {
  std::vector<std::u16string> texts;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return texts;
  }
  DWORD type = 0, bytes = 0;
  std::u16string data;
  if (RegQueryValueExW(handle, kFiles, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      type == REG_MULTI_SZ) {
    data.resize(bytes / sizeof(char16_t));
    if (RegQueryValueExW(handle, kFiles, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) != ERROR_SUCCESS) {
      data.clear();
    }
  }
  RegCloseKey(handle);
  for (size_t start = 0; start < data.size();) {
    size_t end = data.find(u'\0', start);
    if (end == data.npos) end = data.size();
    if (end > start) texts.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return texts;
}

}  // namespace

std::u16string KeptSetupLibrary(std::u16string_view app_name) {
  return u"\\Windows\\AppMgr\\" + std::u16string(app_name) + u".dll";
}

bool IsAppName(std::u16string_view app_name) {
  return !app_name.empty() && app_name.size() <= kMaxAppName &&
         app_name.find_first_of(u"\\/") == app_name.npos;
}

bool IsRegistered(std::u16string_view app_name) {
  std::vector<std::u16string> subkeys;
  return ListRegSubkeys(HKEY_LOCAL_MACHINE, AppKey(app_name), subkeys) != 0;
}

bool ReadRegistration(std::u16string_view app_name, Registration& registration) {
  std::u16string key = AppKey(app_name);
  registration = {};
  if (!GetRegString(HKEY_LOCAL_MACHINE, key, kInstallDir, registration.install_dir)) return false;
  GetRegString(HKEY_LOCAL_MACHINE, key, kCabFile, registration.cab_file);
  registration.files = ReadTextList(key);
  return true;
}

bool WriteRegistration(std::u16string_view app_name, const Registration& registration) {
  std::u16string key = AppKey(app_name);
  DeleteRegistration(app_name);
  return SetRegString(HKEY_LOCAL_MACHINE, key, kInstallDir, registration.install_dir) &&
         SetRegString(HKEY_LOCAL_MACHINE, key, kCabFile, registration.cab_file) &&
         WriteTextList(key, registration.files);
}

void DeleteRegistration(std::u16string_view app_name) {
  DeleteRegKey(HKEY_LOCAL_MACHINE, AppKey(app_name));
}

}  // namespace stowkit::cab
