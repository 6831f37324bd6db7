// What the selected device holds, in a form two devices can be compared by: every file and
// folder of its file system with attributes and bytes, and every registry key and value. And
// the check that its registry database is whole, made as another program would make it, with
// no code of ours loaded.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "coredll/windows.h"
#include "support/temp_device.h"
#include "text/fold.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::testing {

// `PRAGMA integrity_check` of the device's registry.db: "ok" when it is whole, "absent"
// before any program has used the registry.
inline std::string RegistryIntegrity(const std::string& device_folder) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  std::string path = device_folder + "/registry.db";
  if (!std::filesystem::exists(path)) return "absent";
  // Read-write, as the next program opens it: a log left by a killed writer is recovered.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* check = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) != SQLITE_OK) {
      result = sqlite3_errmsg(db);
    } else {
      result.clear();
      while (sqlite3_step(check) == SQLITE_ROW) {
        result += reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
      }
    }
    sqlite3_finalize(check);
  }
  sqlite3_close(db);
  return result;
}

struct DeviceSnapshot {
  // Device path → "attributes 0x.. " and the file's bytes, or "folder".
  std::map<std::string, std::string> files;
  // "ROOT\key" for each key and "ROOT\key\name = type: hex bytes" for each value.
  std::set<std::string> registry;
};

// A file whose bytes and attributes need not match (a log's dates, for example): only that
// it is there is compared.
using VaryingFile = std::function<bool(const std::string& device_path)>;

namespace snapshot_detail {

inline std::string Hex(const BYTE* bytes, DWORD size) {
  std::string out;
  for (DWORD i = 0; i < size; ++i) out += Utf16ToUtf8(Format(u"%02x", unsigned(bytes[i])));
  return out;
}

inline void Files(const TempDevice& device, const std::u16string& folder,
                  const VaryingFile& varying, DeviceSnapshot& snapshot) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + u"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::u16string path = folder + u"\\" + found.cFileName;
    std::string name = Utf16ToUtf8(path);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      snapshot.files[name] = "folder";
      Files(device, path, varying, snapshot);
      continue;
    }
    std::string host = device.Host(Utf16ToUtf8(path.substr(1)));
    for (char& c : host) c = c == '\\' ? '/' : c;
    snapshot.files[name] =
        varying(name)
            ? "file (varies)"
            : Utf16ToUtf8(Format(u"attributes 0x%x ", found.dwFileAttributes)) + ReadHostFile(host);
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

inline void Keys(HKEY key, const std::string& path, DeviceSnapshot& snapshot) {
  snapshot.registry.insert(path);
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    BYTE data[16384];
    DWORD name_chars = 256, size = sizeof data, type = 0;
    if (RegEnumValueW(key, i, name, &name_chars, nullptr, &type, data, &size) != ERROR_SUCCESS)
      break;
    snapshot.registry.insert(path + "\\" + Utf16ToUtf8(name) + " = " + std::to_string(type) + ": " +
                             Hex(data, size));
  }
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD name_chars = 256;
    if (RegEnumKeyExW(key, i, name, &name_chars, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    HKEY sub;
    if (RegOpenKeyExW(key, name, 0, 0, &sub) != ERROR_SUCCESS) continue;
    Keys(sub, path + "\\" + Utf16ToUtf8(name), snapshot);
    RegCloseKey(sub);
  }
}

}  // namespace snapshot_detail

// The selected device (`device`'s), read through the platform as device programs see it.
inline DeviceSnapshot TakeSnapshot(const TempDevice& device, const VaryingFile& varying) {
  DeviceSnapshot snapshot;
  snapshot_detail::Files(device, u"", varying, snapshot);
  snapshot_detail::Keys(HKEY_LOCAL_MACHINE, "HKLM", snapshot);
  snapshot_detail::Keys(HKEY_CURRENT_USER, "HKCU", snapshot);
  snapshot_detail::Keys(HKEY_CLASSES_ROOT, "HKCR", snapshot);
  return snapshot;
}

}  // namespace stowkit::testing
