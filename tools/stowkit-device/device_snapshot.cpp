#include "device_snapshot.h"

#include <zlib.h>

#include <algorithm>

#include "coredll/windows.h"
#include "device_commands.h"
#include "registry_reading.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

constexpr DWORD kReadBlock = 65536;

uint64_t TimeValue(const FILETIME& time) {
  return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::optional<uint32_t> ContentCrc(const std::u16string& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<uint8_t> buffer(kReadBlock);
  uLong crc = crc32(0, nullptr, 0);
  DWORD got = 0;
  BOOL ok;
  while ((ok = ReadFile(file, buffer.data(), kReadBlock, &got, nullptr)) && got > 0) {
    crc = crc32(crc, buffer.data(), got);
  }
  CloseHandle(file);
  return ok ? std::optional<uint32_t>(uint32_t(crc)) : std::nullopt;
}

namespace {

SnapshotItem FileSystemItem(const std::u16string& path, const WIN32_FIND_DATAW& data) {
  SnapshotItem item;
  item.path = path;
  item.attributes = data.dwFileAttributes;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    item.kind = SnapshotItem::kFolder;
    return item;
  }
  item.kind = SnapshotItem::kFile;
  item.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  item.crc = ContentCrc(path);
  item.created = TimeValue(data.ftCreationTime);
  item.written = TimeValue(data.ftLastWriteTime);
  return item;
}

// Everything below `folder` ("" for the root).
void ReadFolder(const std::u16string& folder, Snapshot& snapshot) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + u"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;  // empty, or gone meanwhile
  std::vector<std::u16string> folders;
  do {
    std::u16string path = folder + u"\\" + data.cFileName;
    snapshot.push_back(FileSystemItem(path, data));
    if (snapshot.back().kind == SnapshotItem::kFolder) folders.push_back(path);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  for (const std::u16string& path : folders) ReadFolder(path, snapshot);
}

bool ReadKeyTree(HKEY key, const std::u16string& path, bool is_root, Snapshot& snapshot,
                 std::string& error) {
  std::vector<RegistryValue> values;
  std::vector<std::u16string> subkeys;
  LONG result = ReadKey(key, values, subkeys);
  if (result != ERROR_SUCCESS) {
    error = "cannot read key '" + Utf16ToUtf8(path) + "': " + SystemErrorText(DWORD(result));
    return false;
  }
  SnapshotItem item;
  item.path = path;
  if (!is_root) {
    item.kind = SnapshotItem::kKey;
    snapshot.push_back(item);
  }
  item.kind = SnapshotItem::kValue;
  for (RegistryValue& value : values) {
    item.name = std::move(value.name);
    item.type = value.type;
    item.data = std::move(value.data);
    snapshot.push_back(item);
  }
  for (const std::u16string& name : subkeys) {
    OpenedKey child;
    result = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.Out());
    if (result == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
    if (result != ERROR_SUCCESS) {
      error = "cannot open key '" + Utf16ToUtf8(path + u"\\" + name) + "': " +
              SystemErrorText(DWORD(result));
      return false;
    }
    if (!ReadKeyTree(child.get(), path + u"\\" + name, false, snapshot, error)) return false;
  }
  return true;
}

}  // namespace

int CompareItems(const SnapshotItem& a, const SnapshotItem& b) {
  if (a.IsFileSystem() != b.IsFileSystem()) return a.IsFileSystem() ? -1 : 1;
  if (int order = CompareNoCase(a.path, b.path)) return order;
  if (int order = CompareNoCase(a.name, b.name)) return order;
  return int(a.kind) - int(b.kind);
}

bool TakeSnapshot(Snapshot& snapshot, std::string& error) {
  snapshot.clear();
  ReadFolder(u"", snapshot);
  for (const RootKey& root : kRootKeys) {
    if (!ReadKeyTree(root.handle, std::u16string(root.name), true, snapshot, error)) return false;
  }
  std::sort(snapshot.begin(), snapshot.end(),
            [](const SnapshotItem& a, const SnapshotItem& b) { return CompareItems(a, b) < 0; });
  return true;
}

bool IsBelow(const std::u16string& inner, const std::u16string& outer) {
  return inner.size() > outer.size() && inner[outer.size()] == u'\\' &&
         EqualsNoCase(std::u16string_view(inner).substr(0, outer.size()), outer);
}

}  // namespace stowkit::device_tool
