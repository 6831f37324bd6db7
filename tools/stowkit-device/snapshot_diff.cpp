#include "snapshot_diff.h"

#include "coredll/windows.h"
#include "device_commands.h"
#include "text/format.h"
#include "text/little_endian.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

constexpr size_t kShownBytes = 16;  // longer binary data is cut, with "..."

const char* KindName(SnapshotItem::Kind kind) {
  switch (kind) {
    case SnapshotItem::kFolder: return "folder";
    case SnapshotItem::kFile: return "file";
    case SnapshotItem::kKey: return "key";
    case SnapshotItem::kValue: return "value";
  }
  return "";
}

const char* TypeName(uint32_t type) {
  switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return nullptr;
  }
}

std::string TimeText(uint64_t value) {
  FILETIME time = {DWORD(value), DWORD(value >> 32)};
  SYSTEMTIME t;
  if (!FileTimeToSystemTime(&time, &t)) return std::to_string(value);
  return Utf16ToUtf8(Format(u"%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                            t.wMinute, t.wSecond));
}

// The UTF-16 texts of a string value, split at its terminators.
std::vector<std::string> ValueTexts(const std::string& data) {
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    text += char16_t(uint8_t(data[i]) | (uint8_t(data[i + 1]) << 8));
  }
  while (!text.empty() && text.back() == 0) text.pop_back();
  std::vector<std::string> texts;
  for (size_t start = 0;;) {
    size_t end = text.find(u'\0', start);
    texts.push_back(Utf16ToUtf8(text.substr(start, end - start)));
    if (end == std::u16string::npos) return texts;
    start = end + 1;
  }
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ValueData(uint32_t type, const std::string& data) {
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.size() % 2 == 0) {
    return (type == REG_EXPAND_SZ ? "expand:" : "") + Quoted(ValueTexts(data).front());
  }
  if (type == REG_DWORD && data.size() == 4) {
    uint32_t n = LoadLe32(reinterpret_cast<const uint8_t*>(data.data()));
    return "dword " + std::to_string(n) + " (" + Utf16ToUtf8(Format(u"0x%x", n)) + ")";
  }
  if (type == REG_MULTI_SZ && data.size() % 2 == 0) {
    std::string out = "multi:";
    for (const std::string& text : ValueTexts(data)) out += (out.size() > 6 ? "," : "") + Quoted(text);
    return out;
  }
  std::string out = Utf16ToUtf8(Format(u"hex(%x):", type));
  for (size_t i = 0; i < data.size() && i < kShownBytes; ++i) {
    out += Utf16ToUtf8(Format(i == 0 ? u"%02x" : u",%02x", uint8_t(data[i])));
  }
  return data.size() > kShownBytes ? out + ",..." : out;
}

std::vector<std::string> ChangedFields(const SnapshotItem& a, const SnapshotItem& b) {
  std::vector<std::string> fields;
  auto differs = [&](bool different, const char* name) {
    if (different) fields.push_back(name);
  };
  differs(a.attributes != b.attributes, "attributes");
  differs(a.size != b.size, "size");
  differs(a.crc != b.crc, "crc");
  differs(a.created != b.created, "created");
  differs(a.written != b.written, "written");
  differs(a.type != b.type, "type");
  differs(a.data != b.data, "data");
  return fields;
}

// What follows the label of an added or removed item.
std::string Details(const SnapshotItem& item) {
  switch (item.kind) {
    case SnapshotItem::kFile:
      return "  " + FieldText(item, "size") + " bytes, " + FieldText(item, "attributes") +
             ", crc " + FieldText(item, "crc");
    case SnapshotItem::kValue: return " = " + FieldText(item, "data");
    default: return "";
  }
}

std::string ChangeLine(const ItemChange& change) {
  if (change.change != ItemChange::kChanged) {
    return (change.change == ItemChange::kAdded ? "+ " : "- ") + ItemLabel(change.item()) +
           Details(change.item());
  }
  std::string line = "~ " + ItemLabel(change.item());
  const char* separator = "  ";
  for (const std::string& field : change.fields) {
    line += separator + field + " " + FieldText(*change.before, field) + " -> " +
            FieldText(*change.after, field);
    separator = "; ";
  }
  return line;
}

}  // namespace

std::vector<ItemChange> DiffSnapshots(const Snapshot& before, const Snapshot& after) {
  std::vector<ItemChange> changes;
  size_t i = 0, j = 0;
  while (i < before.size() || j < after.size()) {
    int order = i == before.size() ? 1 : j == after.size() ? -1 : CompareItems(before[i], after[j]);
    if (order < 0) {
      changes.push_back({ItemChange::kRemoved, before[i++], std::nullopt, {}});
    } else if (order > 0) {
      changes.push_back({ItemChange::kAdded, std::nullopt, after[j++], {}});
    } else {
      std::vector<std::string> fields = ChangedFields(before[i], after[j]);
      if (!fields.empty()) changes.push_back({ItemChange::kChanged, before[i], after[j], fields});
      ++i, ++j;
    }
  }
  return changes;
}

std::string ItemLabel(const SnapshotItem& item) {
  std::string label = KindName(item.kind);
  label.resize(8, ' ');
  label += Utf16ToUtf8(item.path);
  if (item.kind == SnapshotItem::kValue) label += ": " + (item.name.empty() ? "@" : Utf16ToUtf8(item.name));
  return label;
}

std::string FieldText(const SnapshotItem& item, const std::string& field) {
  if (field == "attributes") return AttributeLetters(item.attributes);
  if (field == "size") return std::to_string(item.size);
  if (field == "crc") return item.crc ? Utf16ToUtf8(Format(u"%08x", *item.crc)) : "unreadable";
  if (field == "created") return TimeText(item.created);
  if (field == "written") return TimeText(item.written);
  if (field == "type") return TypeName(item.type) ? TypeName(item.type) : std::to_string(item.type);
  if (field == "data") return ValueData(item.type, item.data);
  return "";
}

std::string ChangesText(const std::vector<ItemChange>& changes) {
  if (changes.empty()) return "No changes.\n";
  size_t counts[3] = {};
  std::string text;
  for (const ItemChange& change : changes) {
    text += ChangeLine(change) + "\n";
    ++counts[change.change];
  }
  return text + std::to_string(counts[ItemChange::kAdded]) + " added, " +
         std::to_string(counts[ItemChange::kRemoved]) + " removed, " +
         std::to_string(counts[ItemChange::kChanged]) + " changed\n";
}

void WriteItemJson(tool::JsonWriter& json, const SnapshotItem& item) {
  json.BeginObject().Key("kind").String(KindName(item.kind));
  json.Key(item.IsFileSystem() ? "path" : "key").String(Utf16ToUtf8(item.path));
  switch (item.kind) {
    case SnapshotItem::kFolder:
      json.Key("attributes").String(FieldText(item, "attributes"));
      break;
    case SnapshotItem::kFile:
      json.Key("size").Number(int64_t(item.size)).Key("attributes").String(FieldText(item, "attributes"));
      json.Key("crc").OptionalString(item.crc ? std::optional(FieldText(item, "crc")) : std::nullopt);
      json.Key("created").String(FieldText(item, "created")).Key("written").String(FieldText(item, "written"));
      break;
    case SnapshotItem::kKey: break;
    case SnapshotItem::kValue:
      json.Key("name").String(Utf16ToUtf8(item.name)).Key("type").String(FieldText(item, "type"));
      json.Key("data").String(FieldText(item, "data"));
      break;
  }
  json.EndObject();
}

void WriteChangesJson(tool::JsonWriter& json, const std::vector<ItemChange>& changes) {
  json.BeginObject();
  for (ItemChange::Kind kind : {ItemChange::kAdded, ItemChange::kRemoved}) {
    json.Key(kind == ItemChange::kAdded ? "added" : "removed").BeginArray();
    for (const ItemChange& change : changes) {
      if (change.change == kind) WriteItemJson(json, change.item());
    }
    json.EndArray();
  }
  json.Key("changed").BeginArray();
  for (const ItemChange& change : changes) {
    if (change.change != ItemChange::kChanged) continue;
    json.BeginObject().Key("item");
    WriteItemJson(json, *change.after);
    json.Key("fields").BeginArray();
    for (const std::string& field : change.fields) {
      json.BeginObject().Key("field").String(field);
      json.Key("before").String(FieldText(*change.before, field));
      json.Key("after").String(FieldText(*change.after, field)).EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray().EndObject();
}

}  // namespace stowkit::device_tool
