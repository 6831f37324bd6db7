#include "registry_commands.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "coredll/windows.h"
#include "device_commands.h"
#include "registry_reading.h"
#include "regedit_text.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

// Collects the text of a key tree; nothing is printed until all of it has been read.
class Exporter {
 public:
  // `show_empty`: write the key's line even when it holds no values.
  bool Key(HKEY key, const std::u16string& path, bool show_empty) {
    std::vector<RegistryValue> values;
    std::vector<std::u16string> subkeys;
    LONG result = ReadKey(key, values, subkeys);
    if (result != ERROR_SUCCESS) return ReadFailed(path, result);
    std::string line;
    if (show_empty || !values.empty()) {
      if (!KeyLine(path, line)) return Unwritable(path);
      text_ += "\n" + line;
      for (const RegistryValue& value : values) {
        if (!ValueLine(value, line)) return Unwritable(path + u"\\" + value.name);
        text_ += line;
      }
    }
    for (const std::u16string& name : subkeys) {
      OpenedKey child;
      result = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.Out());
      if (result != ERROR_SUCCESS) return ReadFailed(path + u"\\" + name, result);
      if (!Key(child.get(), path + u"\\" + name, true)) return false;
    }
    return true;
  }

  const std::string& text() const { return text_; }
  const std::string& error() const { return error_; }

 private:
  bool ReadFailed(const std::u16string& path, LONG result) {
    error_ = "cannot read key '" + Utf16ToUtf8(path) + "': " + SystemErrorText(DWORD(result));
    return false;
  }
  bool Unwritable(const std::u16string& name) {
    error_ = "cannot export '" + Utf16ToUtf8(name) + "': its name holds a line break";
    return false;
  }

  std::string text_;
  std::string error_;
};

// Applies one change; ERROR_SUCCESS or the registry's error. `current` is the key that
// value lines go to.
LONG Apply(const RegistryChange& change, OpenedKey& current) {
  HKEY root = RootHandle(change.root);
  const RegistryValue& value = change.value;
  LONG result = ERROR_SUCCESS;
  switch (change.kind) {
    case RegistryChange::kOpenKey:
      return RegCreateKeyExW(root, change.subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                             current.Out(), nullptr);
    case RegistryChange::kDeleteKey:
      result = RegDeleteKeyW(root, change.subkey.c_str());
      break;
    case RegistryChange::kSetValue:
      return RegSetValueExW(current.get(), value.name.c_str(), 0, value.type,
                            reinterpret_cast<const BYTE*>(value.data.data()),
                            DWORD(value.data.size()));
    case RegistryChange::kDeleteValue:
      result = RegDeleteValueW(current.get(), value.name.c_str());
      break;
  }
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;  // already gone is fine
}

}  // namespace

int ExportRegistry(const std::string& key) {
  Exporter exporter;
  if (key.empty()) {
    for (const RootKey& root : kRootKeys) {
      if (!exporter.Key(root.handle, std::u16string(root.name), false)) {
        return Error(exporter.error());
      }
    }
  } else {
    std::u16string root, subkey;
    std::string reason;
    if (!SplitKeyPath(Utf8ToUtf16(key), root, subkey, reason)) {
      return Error("bad key '" + key + "': " + reason);
    }
    OpenedKey opened;
    LONG result = RegOpenKeyExW(RootHandle(root), subkey.c_str(), 0, KEY_READ, opened.Out());
    if (result == ERROR_FILE_NOT_FOUND) return Error("no such key '" + key + "'");
    if (result != ERROR_SUCCESS) {
      return Error("cannot export '" + key + "': " + SystemErrorText(DWORD(result)));
    }
    if (!exporter.Key(opened.get(), subkey.empty() ? root : root + u"\\" + subkey, true)) {
      return Error(exporter.error());
    }
  }
  std::cout << kRegistryFileHeader << exporter.text() << std::flush;
  return std::cout ? 0 : Error("cannot write the export to standard output");
}

int ImportRegistry(const std::string& host_file) {
  std::ifstream in(host_file, std::ios::binary);
  if (!in.is_open()) return Error("cannot read '" + host_file + "': " + std::strerror(errno));
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) return Error("cannot read '" + host_file + "': " + std::strerror(errno));
  std::u16string text;
  std::vector<RegistryChange> changes;
  std::string reason;
  size_t line = 0;
  if (!DecodeRegistryFile(bytes, text, reason)) return Error(host_file + ": " + reason);
  if (!ParseRegistryText(text, changes, line, reason)) {
    return Error(host_file + ":" + std::to_string(line) + ": " + reason +
                 " (nothing was imported)");
  }
  OpenedKey current;
  for (const RegistryChange& change : changes) {
    LONG result = Apply(change, current);
    if (result != ERROR_SUCCESS) {
      return Error(host_file + ":" + std::to_string(change.line) + ": cannot apply: " +
                   SystemErrorText(DWORD(result)) + " (the lines before it were imported)");
    }
  }
  current.Reset();
  LONG result = RegFlushKey(HKEY_LOCAL_MACHINE);
  if (result != ERROR_SUCCESS) {
    return Error("cannot flush the registry: " + SystemErrorText(DWORD(result)));
  }
  return 0;
}

}  // namespace stowkit::device_tool
