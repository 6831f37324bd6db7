#include "snapshot_commands.h"

#include <filesystem>
#include <iostream>

#include "device_commands.h"
#include "snapshot_diff.h"
#include "snapshot_file.h"
#include "snapshot_store.h"

namespace stowkit::device_tool {
namespace {

std::string Counted(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string Summary(const Snapshot& snapshot) {
  size_t counts[4] = {};
  for (const SnapshotItem& item : snapshot) ++counts[item.kind];
  return Counted(counts[SnapshotItem::kFile], "file") + ", " +
         Counted(counts[SnapshotItem::kFolder], "folder") + ", " +
         Counted(counts[SnapshotItem::kKey], "registry key") + ", " +
         Counted(counts[SnapshotItem::kValue], "registry value");
}

}  // namespace

int SnapshotDevice(const std::string& device_folder, const std::string& name) {
  std::string path, error;
  Snapshot snapshot;
  // The contents first: a snapshot file is there only when what restores it is.
  if (!SnapshotPath(device_folder, name, path, error) || !TakeSnapshot(snapshot, error) ||
      !SaveSnapshotContents(device_folder, name, snapshot, error) || !SaveSnapshot(snapshot, path, error)) {
    return Error("snapshot: " + error);
  }
  std::cout << "Snapshot '" << name << "': " << Summary(snapshot) << "\n";
  return 0;
}

int DiffDevice(const std::string& device_folder, const std::string& name, bool json) {
  std::string path, error;
  Snapshot before, now;
  if (!SnapshotPath(device_folder, name, path, error)) return Error("diff: " + error);
  if (!std::filesystem::exists(path)) {
    return Error("diff: this device has no snapshot '" + name + "' (take one with 'stowkit-device snapshot " +
                 name + "')");
  }
  if (!LoadSnapshot(path, before, error) || !TakeSnapshot(now, error)) {
    return Error("diff: " + error);
  }
  std::vector<ItemChange> changes = DiffSnapshots(before, now);
  if (json) {
    tool::JsonWriter writer;
    WriteChangesJson(writer, changes);
    std::cout << writer.text();
  } else {
    std::cout << ChangesText(changes);
  }
  std::cout << std::flush;
  return std::cout ? 0 : Error("cannot write to standard output");
}

}  // namespace stowkit::device_tool
