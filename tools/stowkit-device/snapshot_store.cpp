#include "snapshot_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "coredll/windows.h"
#include "device_commands.h"
#include "registry_reading.h"
#include "snapshot_diff.h"
#include "snapshot_file.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kBlock = 65536;

std::string ContentFolder(const std::string& device_folder, const std::string& name) {
  return device_folder + "/snapshots/." + name + ".files";
}

std::string ContentName(uint32_t crc, uint64_t size) {
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%llu", unsigned(crc), static_cast<unsigned long long>(size));
  return text;
}

bool IsLink(const std::string& path) {
  std::error_code failure;
  return fs::is_symlink(fs::symlink_status(path, failure));
}

// Copies device file `path` into the new host file `target`.
bool CopyOut(const std::u16string& path, const std::string& target) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  bool ok = out >= 0;
  std::vector<char> buffer(kBlock);
  DWORD got = 0;
  while (ok && (ok = ReadFile(file, buffer.data(), kBlock, &got, nullptr)) && got > 0) {
    ok = write(out, buffer.data(), got) == ssize_t(got);
  }
  CloseHandle(file);
  if (out >= 0 && close(out) != 0) ok = false;
  if (!ok && out >= 0) unlink(target.c_str());
  return ok;
}

// Writes host content file `source` over device file `path`, which must not be read-only.
bool CopyIn(const std::string& source, const std::u16string& path, const SnapshotItem& item) {
  int in = open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  struct stat status;
  if (fstat(in, &status) != 0 || !S_ISREG(status.st_mode) || uint64_t(status.st_size) != item.size) {
    close(in);
    return false;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  std::vector<char> buffer(kBlock);
  ssize_t got = 0;
  while (ok && (got = read(in, buffer.data(), kBlock)) > 0) {
    DWORD done = 0;
    ok = WriteFile(file, buffer.data(), DWORD(got), &done, nullptr) && done == DWORD(got);
  }
  close(in);
  if (got < 0) ok = false;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

FILETIME Time(uint64_t value) { return {DWORD(value & 0xFFFFFFFFu), DWORD(value >> 32)}; }

bool SetTimes(const std::u16string& path, const SnapshotItem& item) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME created = Time(item.created), written = Time(item.written);
  bool ok = SetFileTime(file, &created, nullptr, &written);
  CloseHandle(file);
  return ok;
}

// "HKEY_LOCAL_MACHINE\Software\Notes" as its root and the key below it.
HKEY SplitKey(const std::u16string& path, std::u16string& subkey) {
  size_t slash = path.find(u'\\');
  subkey = slash == std::u16string::npos ? u"" : path.substr(slash + 1);
  return RootHandle(path.substr(0, slash));
}

bool DeleteItem(const SnapshotItem& item) {
  std::u16string subkey;
  switch (item.kind) {
    case SnapshotItem::kFile:
      SetFileAttributesW(item.path.c_str(), FILE_ATTRIBUTE_NORMAL);
      return DeleteFileW(item.path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    case SnapshotItem::kFolder:
      SetFileAttributesW(item.path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
      return RemoveDirectoryW(item.path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
             GetLastError() == ERROR_PATH_NOT_FOUND;
    case SnapshotItem::kKey: {
      HKEY root = SplitKey(item.path, subkey);
      if (!root || subkey.empty()) return false;  // a root is never deleted
      LONG result = RegDeleteKeyW(root, subkey.c_str());
      return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    case SnapshotItem::kValue: {
      OpenedKey key;
      HKEY root = SplitKey(item.path, subkey);
      LONG result = root ? RegOpenKeyExW(root, subkey.c_str(), 0, KEY_WRITE, key.Out()) : ERROR_FILE_NOT_FOUND;
      if (result == ERROR_SUCCESS) result = RegDeleteValueW(key.get(), item.name.c_str());
      return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
  }
  return false;
}

// Makes `item` on the device as the snapshot recorded it; `exists` when there is an item of
// its path now, in another state.
bool PutBack(const std::string& contents, const SnapshotItem& item, bool exists) {
  std::u16string subkey;
  switch (item.kind) {
    case SnapshotItem::kFolder:
      if (!exists && !CreateDirectoryW(item.path.c_str(), nullptr)) return false;
      return SetFileAttributesW(item.path.c_str(), item.attributes);
    case SnapshotItem::kFile: {
      if (!item.crc) return false;  // it could not be read when the snapshot was taken
      if (exists) SetFileAttributesW(item.path.c_str(), FILE_ATTRIBUTE_NORMAL);
      std::optional<uint32_t> crc = exists ? ContentCrc(item.path) : std::nullopt;
      WIN32_FIND_DATAW data;
      uint64_t size = 0;
      if (HANDLE find = FindFirstFileW(item.path.c_str(), &data); find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      }
      if ((!crc || *crc != *item.crc || size != item.size) &&
          !CopyIn(contents + "/" + ContentName(*item.crc, item.size), item.path, item)) {
        return false;
      }
      // The times first: a read-only file can no longer be opened to set them.
      return SetTimes(item.path, item) && SetFileAttributesW(item.path.c_str(), item.attributes);
    }
    case SnapshotItem::kKey: {
      OpenedKey key;
      HKEY root = SplitKey(item.path, subkey);
      return root && RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                                     nullptr) == ERROR_SUCCESS;
    }
    case SnapshotItem::kValue: {
      OpenedKey key;
      HKEY root = SplitKey(item.path, subkey);
      LONG result = root ? RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(), nullptr)
                         : ERROR_FILE_NOT_FOUND;
      if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key.get(), item.name.c_str(), 0, item.type,
                                reinterpret_cast<const BYTE*>(item.data.data()), DWORD(item.data.size()));
      }
      return result == ERROR_SUCCESS;
    }
  }
  return false;
}

bool SnapshotFolderIsPlain(const std::string& device_folder, std::string& error) {
  std::string folder = device_folder + "/snapshots";
  if (IsLink(folder)) {
    error = "'" + folder + "' is a link: snapshots are kept only inside the device";
    return false;
  }
  return true;
}

bool ExistingSnapshot(const std::string& device_folder, const std::string& name, std::string& path,
                      std::string& error) {
  if (!SnapshotPath(device_folder, name, path, error) || !SnapshotFolderIsPlain(device_folder, error)) return false;
  std::error_code failure;
  fs::file_status status = fs::symlink_status(path, failure);
  if (!fs::is_regular_file(status)) {
    error = fs::exists(status) ? "'" + path + "' is not a snapshot file"
                               : "this device has no snapshot '" + name + "' ('snapshot list' lists them)";
    return false;
  }
  return true;
}

}  // namespace

bool SaveSnapshotContents(const std::string& device_folder, const std::string& name,
                          const Snapshot& snapshot, std::string& error) {
  if (!SnapshotFolderIsPlain(device_folder, error)) return false;
  std::string folder = ContentFolder(device_folder, name);
  std::error_code failure;
  fs::remove_all(folder, failure);  // a link in its place goes, never what it points to
  fs::create_directories(folder, failure);
  if (failure || IsLink(folder)) {
    error = "cannot make '" + folder + "'";
    return false;
  }
  for (const SnapshotItem& item : snapshot) {
    if (item.kind != SnapshotItem::kFile || !item.crc) continue;
    std::string target = folder + "/" + ContentName(*item.crc, item.size);
    if (fs::exists(fs::symlink_status(target, failure))) continue;  // the same content, kept once
    // A file a program holds or changes meanwhile is not kept: restore reports it.
    if (!CopyOut(item.path, target) && errno == ENOSPC) {
      error = "cannot write '" + target + "': " + std::strerror(ENOSPC);
      return false;
    }
  }
  return true;
}

int ListSnapshots(const std::string& device_folder) {
  std::string error;
  if (!SnapshotFolderIsPlain(device_folder, error)) return Error("snapshot list: " + error);
  std::vector<std::string> names;
  std::error_code failure;
  for (const fs::directory_entry& entry : fs::directory_iterator(device_folder + "/snapshots", failure)) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || name.find(".partial-") != std::string::npos) continue;
    if (!entry.is_regular_file(failure) || entry.is_symlink(failure)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) std::cout << "This device has no snapshots.\n";
  for (const std::string& name : names) {
    Snapshot snapshot;
    size_t counts[4] = {};
    std::string path = device_folder + "/snapshots/" + name, why;
    if (!LoadSnapshot(path, snapshot, why)) {
      std::cout << name << "\t(not readable: " << why << ")\n";
      continue;
    }
    for (const SnapshotItem& item : snapshot) ++counts[item.kind];
    std::cout << name << "\t" << counts[SnapshotItem::kFile] << " files, " << counts[SnapshotItem::kFolder]
              << " folders, " << counts[SnapshotItem::kKey] << " registry keys, " << counts[SnapshotItem::kValue]
              << " registry values" << (fs::is_directory(fs::symlink_status(ContentFolder(device_folder, name), failure))
                                            ? ""
                                            : " (no contents kept: cannot be restored)")
              << "\n";
  }
  std::cout << std::flush;
  return std::cout ? 0 : Error("snapshot list: cannot write to standard output");
}

int DeleteSnapshot(const std::string& device_folder, const std::string& name) {
  std::string path, error;
  if (!ExistingSnapshot(device_folder, name, path, error)) return Error("snapshot delete: " + error);
  std::error_code failure;
  fs::remove_all(ContentFolder(device_folder, name), failure);
  if (!failure) fs::remove(path, failure);
  if (failure) return Error("snapshot delete: cannot delete '" + path + "': " + failure.message());
  std::cout << "Snapshot '" << name << "' deleted.\n";
  return 0;
}

int RestoreSnapshot(const std::string& device_folder, const std::string& name) {
  std::string path, error;
  Snapshot recorded, now;
  if (!ExistingSnapshot(device_folder, name, path, error) || !LoadSnapshot(path, recorded, error) ||
      !TakeSnapshot(now, error)) {
    return Error("snapshot restore: " + error);
  }
  std::string contents = ContentFolder(device_folder, name);
  if (IsLink(contents) || !fs::is_directory(contents)) {
    return Error("snapshot restore: snapshot '" + name + "' kept no file contents (taken by an older version): "
                 "it can be compared with 'diff', not restored");
  }
  // From the device now to the snapshot: what was added is deleted, children before their
  // folders and keys; what was removed or changed is made again, folders and keys first.
  std::vector<ItemChange> changes = DiffSnapshots(recorded, now);
  std::vector<std::string> failed;
  size_t undone = 0;
  for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
    if (change->change != ItemChange::kAdded) continue;
    if (DeleteItem(*change->after)) ++undone; else failed.push_back(ItemLabel(*change->after));
  }
  for (const ItemChange& change : changes) {
    if (change.change == ItemChange::kAdded) continue;
    if (PutBack(contents, *change.before, change.change == ItemChange::kChanged)) ++undone;
    else failed.push_back(ItemLabel(*change.before));
  }
  for (const std::string& label : failed) Error("snapshot restore: cannot put back " + label);
  std::cout << "Snapshot '" << name << "' restored: " << undone << (undone == 1 ? " change" : " changes")
            << " undone" << (failed.empty() ? "" : ", " + std::to_string(failed.size()) + " not") << ".\n";
  return failed.empty() ? 0 : 1;
}

}  // namespace stowkit::device_tool
