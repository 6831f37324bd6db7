// A device's state at one moment, as snapshots keep it and diffs compare it: every folder
// and file of its file system and every registry key and value.
//
// Files carry size, attributes, the CRC-32 of their content and their creation and write
// times. Access times are left out: reading a file to take its CRC would move them. Folders
// carry their attributes only, as their times follow whatever happens inside them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowkit::device_tool {

struct SnapshotItem {
  enum Kind : uint8_t { kFolder, kFile, kKey, kValue };
  Kind kind = kFile;
  // Folders and files: the device path, "\Program Files\Notes". Keys and values: the key
  // from its root's full name, "HKEY_LOCAL_MACHINE\Software\Notes".
  std::u16string path;
  std::u16string name;                // values: the value's name, "" for the default value
  uint32_t attributes = 0;            // folders and files
  uint64_t size = 0;                  // files
  std::optional<uint32_t> crc;        // files; none when a program held it against reading
  uint64_t created = 0, written = 0;  // files: FILETIME values (UTC)
  uint32_t type = 0;                  // values: REG_SZ, REG_DWORD, ...
  std::string data;                   // values: their bytes

  bool IsFileSystem() const { return kind == kFolder || kind == kFile; }
};

// <0, 0 or >0: the file system before the registry, then by path and by value name compared
// as the device compares names (without regard to case), then by kind. 0 means the same
// item, which two snapshots may hold in different states.
int CompareItems(const SnapshotItem& a, const SnapshotItem& b);

// Items sorted by CompareItems.
using Snapshot = std::vector<SnapshotItem>;

// Reads every item of the selected device. False with a one-line reason in `error`.
bool TakeSnapshot(Snapshot& snapshot, std::string& error);

// The CRC-32 of a device file's content; none when it cannot be read.
std::optional<uint32_t> ContentCrc(const std::u16string& path);

// Whether the path or key `inner` lies below `outer`, compared without regard to case.
bool IsBelow(const std::u16string& inner, const std::u16string& outer);

}  // namespace stowkit::device_tool
