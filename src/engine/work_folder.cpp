#include "engine/work_folder.h"

#include <string>

#include "engine/engine.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr std::u16string_view kLockSuffix = u".lock";

std::u16string LockPath(std::u16string_view folder) {
  return std::u16string(folder) + std::u16string(kLockSuffix);
}

// Opens a lock without sharing: `create` makes a new one and fails when it exists.
HANDLE OpenLock(const std::u16string& path, bool create) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A lock that opens has no owner any more: its folder goes first, then the lock, so that a
// clean-up killed half-way is finished by the next one.
void RemoveIfOrphaned(const std::u16string& lock) {
  HANDLE handle = OpenLock(lock, false);
  if (handle == INVALID_HANDLE_VALUE) return;  // its run still holds it, or it is gone
  std::u16string folder = lock.substr(0, lock.size() - kLockSuffix.size());
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFolder(folder, true);
  CloseHandle(handle);
  ForceDeleteFile(lock);
}

void RemoveOrphanedFolders(const std::u16string& temp_folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(JoinPath(temp_folder, u"PKG_*.lock").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      RemoveIfOrphaned(JoinPath(temp_folder, found.cFileName));
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

// Takes the name `path` with its lock: S_OK, S_FALSE when the name is taken (by another
// run's lock, or by a folder of no run of ours), else the failure.
HRESULT TakeName(const std::u16string& path, HANDLE& lock) {
  lock = OpenLock(LockPath(path), true);
  if (lock == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_EXISTS ? S_FALSE : LastErrorResult();
  }
  if (CreateDirectoryW(path.c_str(), nullptr)) return S_OK;
  DWORD error = GetLastError();
  CloseHandle(lock);
  ForceDeleteFile(LockPath(path));
  return error == ERROR_ALREADY_EXISTS ? S_FALSE : HResultFromError(error);
}

}  // namespace

HRESULT CreateWorkFolder(Engine& engine) {
  std::u16string base;
  if (!MakeTempFolderPath(base)) return LastErrorResult();
  std::u16string parent;
  PathFolder(base, parent);
  if (!CreateFolder(parent)) return LastErrorResult();
  RemoveOrphanedFolders(parent);
  std::u16string path = base;
  for (int suffix = 2;; path = Format(u"%s_%d", base, suffix++)) {
    HANDLE lock = INVALID_HANDLE_VALUE;
    HRESULT hr = TakeName(path, lock);
    if (hr == S_OK) {
      engine.work_folder = path;
      engine.work_folder_lock = lock;
      return S_OK;
    }
    if (FAILED(hr)) return hr;
    if (suffix > 999) return HResultFromError(ERROR_ALREADY_EXISTS);
  }
}

void RemoveWorkFolder(Engine& engine) {
  if (engine.work_folder.empty()) return;
  DeleteFolder(engine.work_folder, true);
  if (engine.work_folder_lock != INVALID_HANDLE_VALUE) CloseHandle(engine.work_folder_lock);
  engine.work_folder_lock = INVALID_HANDLE_VALUE;
  ForceDeleteFile(LockPath(engine.work_folder));
}

}  // namespace stowkit
