#include "snapshot_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

namespace fs = std::filesystem;

constexpr char kFirstLine[] = "stowkit-snapshot 1";
constexpr char kHexDigits[] = "0123456789abcdef";

std::string Escaped(const std::u16string& text) {
  std::string out;
  for (char c : Utf16ToUtf8(text)) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      out += '%';
      out += kHexDigits[(c >> 4) & 0xF];
      out += kHexDigits[c & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string Hex(uint64_t value) {
  char buffer[17];
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
  return std::string(buffer, end);
}

std::string HexBytes(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0xF];
  }
  return out;
}

std::string ItemLine(const SnapshotItem& item) {
  std::string path = Escaped(item.path);
  switch (item.kind) {
    case SnapshotItem::kFolder: return "folder\t" + path + "\t" + Hex(item.attributes);
    case SnapshotItem::kFile:
      return "file\t" + path + "\t" + Hex(item.attributes) + "\t" + std::to_string(item.size) +
             "\t" + (item.crc ? Hex(*item.crc) : "-") + "\t" + std::to_string(item.created) +
             "\t" + std::to_string(item.written);
    case SnapshotItem::kKey: return "key\t" + path;
    case SnapshotItem::kValue:
      return "value\t" + path + "\t" + Escaped(item.name) + "\t" + Hex(item.type) + "\t" +
             HexBytes(item.data);
  }
  return "";
}

// Reads the fields of one line back; every method fails on text that is not its form.
class LineReader {
 public:
  explicit LineReader(const std::string& line) {
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields_.push_back(field);
    if (!line.empty() && line.back() == '\t') fields_.push_back("");
  }
  size_t count() const { return fields_.size(); }
  const std::string& word(size_t i) const { return fields_[i]; }

  bool Text(size_t i, std::u16string& text) const {
    std::string out;
    const std::string& field = fields_[i];
    for (size_t at = 0; at < field.size(); ++at) {
      if (field[at] != '%') {
        out += field[at];
        continue;
      }
      uint32_t code = 0;
      if (at + 2 >= field.size() || !ParseNumber(field.substr(at + 1, 2), 16, code)) return false;
      out += char(code);
      at += 2;
    }
    text = Utf8ToUtf16(out);
    return true;
  }
  template <typename T>
  bool Number(size_t i, int base, T& value) const {
    return ParseNumber(fields_[i], base, value);
  }
  bool Bytes(size_t i, std::string& bytes) const {
    const std::string& field = fields_[i];
    if (field.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t at = 0; at < field.size(); at += 2) {
      uint32_t byte = 0;
      if (!ParseNumber(field.substr(at, 2), 16, byte)) return false;
      bytes += char(byte);
    }
    return true;
  }

 private:
  template <typename T>
  static bool ParseNumber(const std::string& text, int base, T& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
  }

  std::vector<std::string> fields_;
};

bool ParseFile(const LineReader& line, SnapshotItem& item) {
  item.kind = SnapshotItem::kFile;
  if (line.count() != 7 || !line.Text(1, item.path) || !line.Number(2, 16, item.attributes) ||
      !line.Number(3, 10, item.size) || !line.Number(5, 10, item.created) ||
      !line.Number(6, 10, item.written)) {
    return false;
  }
  uint32_t crc = 0;
  if (line.word(4) == "-") return true;
  if (!line.Number(4, 16, crc)) return false;
  item.crc = crc;
  return true;
}

bool ParseItem(const std::string& text, SnapshotItem& item) {
  LineReader line(text);
  if (line.count() == 0) return false;
  const std::string& kind = line.word(0);
  if (kind == "folder") {
    item.kind = SnapshotItem::kFolder;
    return line.count() == 3 && line.Text(1, item.path) && line.Number(2, 16, item.attributes);
  }
  if (kind == "file") return ParseFile(line, item);
  if (kind == "key") {
    item.kind = SnapshotItem::kKey;
    return line.count() == 2 && line.Text(1, item.path);
  }
  item.kind = SnapshotItem::kValue;
  return kind == "value" && line.count() == 5 && line.Text(1, item.path) &&
         line.Text(2, item.name) && line.Number(3, 16, item.type) && line.Bytes(4, item.data);
}

}  // namespace

bool SnapshotPath(const std::string& device_folder, const std::string& name, std::string& path,
                  std::string& error) {
  if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') {
    error = "'" + name + "' cannot name a snapshot: use a plain file name";
    return false;
  }
  path = device_folder + "/snapshots/" + name;
  return true;
}

bool SaveSnapshot(const Snapshot& snapshot, const std::string& path, std::string& error) {
  std::error_code failure;
  fs::path folder = fs::path(path).parent_path();
  // The snapshots live in the device folder: a link there would write them elsewhere.
  if (fs::is_symlink(folder, failure)) {
    error = "'" + folder.string() + "' is a link: snapshots are written only inside the device";
    return false;
  }
  fs::create_directories(folder, failure);
  // Written beside and renamed over: a snapshot is whole or not there. The part is made
  // anew ("x": never through a link planted under its name); the rename replaces a link at
  // the snapshot's own name instead of writing through it.
  std::string temporary = path + ".partial-" + std::to_string(getpid());
  fs::remove(temporary, failure);
  failure.clear();
  if (FILE* out = std::fopen(temporary.c_str(), "wbx")) {
    std::string text = std::string(kFirstLine) + "\n";
    for (const SnapshotItem& item : snapshot) text += ItemLine(item) + "\n";
    bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) failure = std::make_error_code(std::errc::io_error);
  } else {
    failure = std::error_code(errno, std::generic_category());
  }
  if (!failure) fs::rename(temporary, path, failure);
  if (failure) {
    fs::remove(temporary, failure);
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

bool LoadSnapshot(const std::string& path, Snapshot& snapshot, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line) || line != kFirstLine) {
    error = in ? "'" + path + "' is not a snapshot" : "cannot read '" + path + "'";
    return false;
  }
  snapshot.clear();
  for (size_t number = 2; std::getline(in, line); ++number) {
    SnapshotItem item;
    if (!ParseItem(line, item)) {
      error = path + ":" + std::to_string(number) + ": not a snapshot line";
      return false;
    }
    snapshot.push_back(std::move(item));
  }
  std::sort(snapshot.begin(), snapshot.end(),
            [](const SnapshotItem& a, const SnapshotItem& b) { return CompareItems(a, b) < 0; });
  return true;
}

}  // namespace stowkit::device_tool
