// What changed between two snapshots of a device, item by item, and the report of it as
// text or JSON. `diff`, `plan` and `check` all print this report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device_snapshot.h"
#include "json_writer.h"

namespace stowkit::device_tool {

struct ItemChange {
  enum Kind { kAdded, kRemoved, kChanged };
  Kind change = kAdded;
  std::optional<SnapshotItem> before;  // none when added
  std::optional<SnapshotItem> after;   // none when removed
  // kChanged: what differs, in this order: "attributes", "size", "crc", "created", "written",
  // "type", "data".
  std::vector<std::string> fields;

  const SnapshotItem& item() const { return after ? *after : *before; }
};

// The changes from `before` to `after` in item order (CompareItems). A change of case in a
// name alone is no change: the device does not tell such names apart.
std::vector<ItemChange> DiffSnapshots(const Snapshot& before, const Snapshot& after);

// "file    \Program Files\Notes\a.txt", "value   HKEY_LOCAL_MACHINE\Software\Notes: Path".
std::string ItemLabel(const SnapshotItem& item);
// One field of an item as the report shows it: "120", "-r--a", "2026-01-31 12:00:00",
// "\"text\"", "dword 18 (0x12)".
std::string FieldText(const SnapshotItem& item, const std::string& field);

// One line per change ("+ ", "- " or "~ " and the label, with the details), then a count;
// "No changes." when there are none.
std::string ChangesText(const std::vector<ItemChange>& changes);

// {"added": [items], "removed": [items], "changed": [{"item": ..., "fields": [...]}]} as the
// value at the writer's current position.
void WriteChangesJson(tool::JsonWriter& json, const std::vector<ItemChange>& changes);
// One item as a JSON object.
void WriteItemJson(tool::JsonWriter& json, const SnapshotItem& item);

}  // namespace stowkit::device_tool
