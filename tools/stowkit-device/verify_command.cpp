#include "verify_command.h"

#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "coredll/device.h"
#include "coredll/shellapi.h"
#include "coredll/windows.h"
#include "device_commands.h"
#include "device_snapshot.h"
#include "engine/default_log_path.h"
#include "engine/macro_sources.h"
#include "engine/package_registry_text.h"
#include "json_writer.h"
#include "package/extract.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "product_commands.h"
#include "registry_lines.h"
#include "registry_reading.h"
#include "services/product_state.h"
#include "services/registry_services.h"
#include "text/fold.h"
#include "text/format.h"
#include "text/utf.h"
#include "text/version.h"

namespace stowkit::device_tool {
namespace {

constexpr uint32_t kLargestRegistryText = 16u << 20;
constexpr int kCannotVerify = 2;

struct Difference {
  std::string kind;     // file, folder, registry value, shortcut
  std::string item;     // path, or "KEY: NAME"
  std::string problem;  // missing, size, crc, attributes, data, target
  std::string found, expected;
};

struct Counts {
  int files = 0, folders = 0, values = 0, shortcuts = 0;
};

// What the package the product came from says of its AppFile entries, in catalog order.
struct FileFacts {
  uint32_t size = 0;
  uint32_t crc = 0;
};

int CannotVerify(const std::string& why) {
  Error("verify: " + why);
  return kCannotVerify;
}

std::u16string Expanded(const MacroTable& macros, std::u16string text) {
  std::u16string ignored;
  ExpandMacros(macros, text, ignored);  // a reference left as written names nothing there
  return text;
}

std::string Hex(uint32_t value) { return Utf16ToUtf8(Format(u"0x%08x", value)); }

std::u16string RootName(HKEY root) {
  for (const RootKey& known : kRootKeys) {
    if (known.handle == root) return std::u16string(known.name);
  }
  return u"";
}

// The host package is read in host mode, before the device is looked at: its paths are the
// user's.
bool ReadHostPackage(const std::string& path, const std::u16string& application, uint32_t version,
                     std::vector<FileFacts>& files, std::string& error) {
  coredll::SetHostMode(true);
  {
    std::unique_ptr<Package> package;
    std::u16string error_text;
    HRESULT hr = OpenPackage(error_text, Utf8ToUtf16(path), package);
    if (FAILED(hr)) {
      error = Utf16ToUtf8(error_text);
    } else {
      std::u16string name;
      package->GetProperty(kAppName, name);
      if (!EqualsNoCase(name, application)) {
        error = "'" + path + "' is the package of '" + Utf16ToUtf8(name) + "', not of '" +
                Utf16ToUtf8(application) + "'";
      } else if (package->Header().Version != version) {
        error = "'" + path + "' is version " + Utf16ToUtf8(FormatVersion(package->Header().Version)) +
                ", the installed one " + Utf16ToUtf8(FormatVersion(version));
      }
      for (int i = 0; i < package->NumEntries(); ++i) {
        const CatalogEntry& entry = *package->GetEntry(i);
        if (entry.EntryType() == kAppFile) files.push_back({entry.FinalSize(), entry.FinalCRC()});
      }
    }
  }
  coredll::SetHostMode(false);
  return error.empty();
}

class Verifier {
 public:
  Verifier(const MacroTable& macros, const std::vector<FileFacts>* facts) : macros_(macros), facts_(facts) {}

  void File(const CatalogEntry& entry, size_t index) {
    ++counts_.files;
    std::u16string path;
    entry.GetProperty(kDst, path);
    std::string shown = Utf16ToUtf8(path);
    WIN32_FIND_DATAW data;
    HANDLE find = path.find_first_of(u"*?") == std::u16string::npos ? FindFirstFileW(path.c_str(), &data)
                                                                   : INVALID_HANDLE_VALUE;
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    if (find == INVALID_HANDLE_VALUE || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      differences_.push_back({"file", shown, "missing", "", ""});
      return;
    }
    uint32_t wanted = 0;
    if (entry.TestTypeFlags(kReadOnly)) wanted |= FILE_ATTRIBUTE_READONLY;
    if (entry.TestTypeFlags(kHidden)) wanted |= FILE_ATTRIBUTE_HIDDEN;
    if ((data.dwFileAttributes & wanted) != wanted) {
      differences_.push_back({"file", shown, "attributes", AttributeLetters(data.dwFileAttributes),
                              AttributeLetters(data.dwFileAttributes | wanted)});
    }
    if (!facts_ || index >= facts_->size()) return;
    const FileFacts& facts = (*facts_)[index];
    uint64_t size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size != facts.size) {
      differences_.push_back({"file", shown, "size", std::to_string(size), std::to_string(facts.size)});
      return;  // another size is another content: its CRC tells nothing more
    }
    std::optional<uint32_t> crc = ContentCrc(path);
    if (!crc) {
      differences_.push_back({"file", shown, "crc", "unreadable", Hex(facts.crc)});
    } else if (*crc != facts.crc) {
      differences_.push_back({"file", shown, "crc", Hex(*crc), Hex(facts.crc)});
    }
  }

  void Folder(const CatalogEntry& entry) {
    ++counts_.folders;
    std::u16string path;
    entry.GetProperty(kDst, path);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      differences_.push_back({"folder", Utf16ToUtf8(path), "missing", "", ""});
    }
  }

  void Shortcut(const CatalogEntry& entry) {
    ++counts_.shortcuts;
    std::u16string name, target, arguments;
    entry.GetProperty(kLinkName, name);
    entry.GetProperty(kLinkTarget, target);
    entry.GetProperty(kLinkArgs, arguments);
    name = Expanded(macros_, name);
    if (name.size() < 4 || !EqualsNoCase(std::u16string_view(name).substr(name.size() - 4), u".lnk")) {
      name += u".lnk";  // as the shortcut service names the file
    }
    // The text the shortcut service writes for these properties.
    target = Expanded(macros_, target);
    std::u16string wanted = !target.empty() && target.front() == u'"' ? target : u"\"" + target + u"\"";
    if (!arguments.empty()) wanted += u" " + Expanded(macros_, arguments);
    WCHAR found[MAX_PATH * 2] = {};
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
      differences_.push_back({"shortcut", Utf16ToUtf8(name), "missing", "", ""});
    } else if (!SHGetShortcutTarget(name.c_str(), found, int(std::size(found))) || wanted != found) {
      differences_.push_back({"shortcut", Utf16ToUtf8(name), "target", Utf16ToUtf8(found), Utf16ToUtf8(wanted)});
    }
  }

  bool Registry(const CatalogEntry& entry, int index, std::string& error) {
    std::string text;
    HRESULT hr = ReadEntryContent(entry, text, kLargestRegistryText);
    if (FAILED(hr)) {
      error = Utf16ToUtf8(Format(u"cannot read the registry text of entry %d: 0x%x", index + 1, hr));
      return false;
    }
    for (const std::u16string& line : tool::RegistryTextLines(text)) {
      RegistryLine parsed;
      if (!IsRegistryValueLine(line) || !ParseRegistryLine(line, parsed)) continue;
      // A deleted value, and one written only over an existing one, may rightly be absent.
      if (parsed.flags & (kRegDeleteValue | kRegOnlyOverwrite)) continue;
      ++counts_.values;
      std::u16string key = Expanded(macros_, parsed.key), name = Expanded(macros_, parsed.name);
      std::u16string data = Expanded(macros_, parsed.data);
      std::string shown = Utf16ToUtf8(RootName(parsed.root) + u"\\" + key + u": " + name);
      std::string found, expected;
      bool there;
      if (parsed.is_number) {
        uint32_t value = 0;
        there = GetRegDword(parsed.root, key, name, value) != 0;
        found = std::to_string(value);
        expected = std::to_string(RegistryNumber(data));
      } else {
        std::u16string value;
        there = GetRegString(parsed.root, key, name, value) != 0;
        found = Utf16ToUtf8(value);
        expected = Utf16ToUtf8(data);
      }
      if (!there) {
        differences_.push_back({"registry value", shown, "missing", "", ""});
      } else if (found != expected && !(parsed.flags & kRegNoOverwrite)) {
        differences_.push_back({"registry value", shown, "data", found, expected});
      }
    }
    return true;
  }

  const std::vector<Difference>& differences() const { return differences_; }
  const Counts& counts() const { return counts_; }

 private:
  const MacroTable& macros_;
  const std::vector<FileFacts>* facts_;
  std::vector<Difference> differences_;
  Counts counts_;
};

std::string Counted(int count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

int VerifyProduct(const std::string& application, const std::string& host_package, bool json) {
  std::u16string name = Utf8ToUtf16(application);
  if (!IsUsableApplicationName(name)) return CannotVerify("'" + application + "' cannot name an application");
  std::string error;
  uint32_t version = 0;
  std::u16string uninstall;
  if (!GetStateDword(name, kStateVersion, version)) {
    if (!NothingRecorded(error)) return CannotVerify(error);
    return CannotVerify("no installed product '" + application + "' is recorded ('products' lists them)");
  }
  if (!GetStateString(name, kStateUninstallPkg, uninstall) || uninstall.empty()) {
    if (!NothingRecorded(error)) return CannotVerify(error);
    return CannotVerify("the record of '" + application + "' names no uninstall package, so what was installed is not known");
  }
  std::vector<FileFacts> facts;
  if (!host_package.empty() && !ReadHostPackage(host_package, name, version, facts, error)) {
    return CannotVerify(error);
  }

  std::unique_ptr<Package> package;
  std::u16string error_text;
  if (FAILED(OpenPackage(error_text, uninstall, package))) {
    return CannotVerify("cannot read the uninstall package: " + Utf16ToUtf8(error_text));
  }
  // The carried definitions are the install's whole table: they win over the device's.
  MacroTable macros;
  BuildMacroTable(macros, u"", *package, MacroTable());
  Verifier verifier(macros, host_package.empty() ? nullptr : &facts);
  size_t file_index = 0, files_in_package = 0;
  for (int i = 0; i < package->NumEntries(); ++i) {
    const CatalogEntry& entry = *package->GetEntry(i);
    if (entry.EntryType() == kAppFile) ++files_in_package;
  }
  if (!host_package.empty() && files_in_package != facts.size()) {
    return CannotVerify("'" + host_package + "' has other files than the package '" + application +
                        "' was installed from");
  }
  for (int i = 0; i < package->NumEntries(); ++i) {
    const CatalogEntry& entry = *package->GetEntry(i);
    bool installed = entry.TestEntryFlags(kShouldInstall) != 0;
    switch (entry.EntryType()) {
      case kAppFile:
        if (installed) verifier.File(entry, file_index);
        ++file_index;
        break;
      case kFolder:
        if (installed) verifier.Folder(entry);
        break;
      case kShortcut:
        if (installed) verifier.Shortcut(entry);
        break;
      case kRegistry:
        if (installed && !verifier.Registry(entry, i, error)) return CannotVerify(error);
        break;
      default:
        break;
    }
  }

  const std::vector<Difference>& differences = verifier.differences();
  const Counts& counts = verifier.counts();
  if (json) {
    tool::JsonWriter writer;
    writer.BeginObject().Key("application").String(application);
    writer.Key("version").String(Utf16ToUtf8(FormatVersion(version)));
    writer.Key("contents_checked").Bool(!host_package.empty());
    writer.Key("files").Number(counts.files).Key("folders").Number(counts.folders);
    writer.Key("registry_values").Number(counts.values).Key("shortcuts").Number(counts.shortcuts);
    writer.Key("differences").BeginArray();
    for (const Difference& d : differences) {
      writer.BeginObject().Key("kind").String(d.kind).Key("item").String(d.item).Key("problem").String(d.problem);
      bool missing = d.problem == "missing";
      writer.Key("found").OptionalString(missing ? std::nullopt : std::optional(d.found));
      writer.Key("expected").OptionalString(missing ? std::nullopt : std::optional(d.expected));
      writer.EndObject();
    }
    writer.EndArray().EndObject();
    std::cout << writer.text();
  } else {
    for (const Difference& d : differences) {
      std::cout << d.kind << " " << d.item << ": ";
      if (d.problem == "missing") {
        std::cout << "missing\n";
      } else {
        // Texts may hold blanks and commas: quoted, they read as one.
        bool text = d.problem == "data" || d.problem == "target";
        std::string found = text ? tool::JsonString(d.found) : d.found;
        std::string expected = text ? tool::JsonString(d.expected) : d.expected;
        std::string what = d.problem == "crc" ? "CRC-32" : d.problem;
        std::cout << what << " " << found << ", expected " << expected << "\n";
      }
    }
    if (differences.empty()) {
      std::cout << application << " " << Utf16ToUtf8(FormatVersion(version)) << ": as installed ("
                << Counted(counts.files, "file") << (host_package.empty() ? "" : " with contents") << ", "
                << Counted(counts.folders, "folder") << ", " << Counted(counts.values, "registry value") << ", "
                << Counted(counts.shortcuts, "shortcut") << ")\n";
    }
  }
  std::cout << std::flush;
  if (!std::cout) return CannotVerify("cannot write to standard output");
  return differences.empty() ? 0 : 1;
}

}  // namespace stowkit::device_tool
