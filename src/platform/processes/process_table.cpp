#include "platform/processes/process_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include <toml++/toml.h>

#include "coredll/device.h"
#include "platform/device/device_state.h"
#include "platform/device/host_files.h"
#include "text/utf.h"

namespace coredll {
namespace {

using stowkit::Utf16ToUtf8;
using stowkit::Utf8ToUtf16;

std::string TableFolder() {
  std::string run = RunFolder();
  return run.empty() ? run : run + "/proc";
}

std::string BaseName(const ProcessIdentity& id) {
  return std::to_string(id.pid) + "-" + std::to_string(id.start_time);
}

WindowRecord ReadWindow(const toml::table& w) {
  return WindowRecord{DWORD(w["hwnd"].value_or(int64_t{0})), DWORD(w["thread"].value_or(int64_t{0})),
                      Utf8ToUtf16(w["class"].value_or(std::string())),
                      Utf8ToUtf16(w["title"].value_or(std::string()))};
}

toml::array WindowsTable(const std::vector<WindowRecord>& windows) {
  toml::array list;
  for (const WindowRecord& w : windows) {
    list.push_back(toml::table{{"hwnd", int64_t{w.hwnd}},
                               {"thread", int64_t{w.thread}},
                               {"class", Utf16ToUtf8(w.class_name)},
                               {"title", Utf16ToUtf8(w.title)}});
  }
  return list;
}

std::optional<ProcessRecord> ReadRecord(const std::string& path) {
  toml::table table;
  try {
    table = toml::parse_file(path);
  } catch (const toml::parse_error&) {
    return std::nullopt;  // being replaced right now, or not ours
  }
  ProcessRecord record;
  record.id.pid = DWORD(table["pid"].value_or(int64_t{0}));
  record.id.start_time = uint64_t(table["start_time"].value_or(int64_t{0}));
  record.parent = DWORD(table["parent"].value_or(int64_t{0}));
  record.program = Utf8ToUtf16(table["program"].value_or(std::string()));
  record.command_line = Utf8ToUtf16(table["command_line"].value_or(std::string()));
  if (const toml::array* modules = table["modules"].as_array()) {
    for (const toml::node& m : *modules) record.modules.push_back(Utf8ToUtf16(m.value_or(std::string())));
  }
  if (const toml::array* windows = table["windows"].as_array()) {
    for (const toml::node& node : *windows) {
      if (const toml::table* w = node.as_table()) record.windows.push_back(ReadWindow(*w));
    }
  }
  return record;
}

}  // namespace

namespace {

struct HostState {
  ProcessIdentity id;
  char state = '?';
};

std::optional<HostState> ReadHostState(DWORD pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');  // the program name may hold blanks and parentheses
  if (close == std::string::npos || close + 2 >= text.size()) return std::nullopt;
  std::istringstream fields(text.substr(close + 2));
  HostState host;
  std::string field;
  // After the name: the state is field 3, the start time field 22.
  for (int i = 3; i <= 22 && fields >> field; ++i) {
    if (i == 3) host.state = field[0];
    if (i == 22) {
      host.id = ProcessIdentity{pid, std::stoull(field)};
      return host;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<ProcessIdentity> IdentityOf(DWORD pid) {
  std::optional<HostState> host = ReadHostState(pid);
  if (!host) return std::nullopt;
  return host->id;
}

bool IsRunning(const ProcessIdentity& id) {
  std::optional<HostState> host = ReadHostState(id.pid);
  // A process that has ended but is not yet reaped (a zombie) no longer runs.
  return host && host->id == id && host->state != 'Z' && host->state != 'X';
}

std::optional<ProcessRecord> ReadProcessRecord(const std::string& path) {
  return ReadRecord(path);
}

bool WriteProcessRecord(const ProcessRecord& record) {
  std::string folder = TableFolder();
  if (folder.empty() || !MakeHostFolders(folder, DeviceRoot().size())) return false;
  toml::array modules;
  for (const std::u16string& m : record.modules) modules.push_back(Utf16ToUtf8(m));
  toml::table table{
      {"pid", int64_t{record.id.pid}},
      {"start_time", int64_t(record.id.start_time)},
      {"parent", int64_t{record.parent}},
      {"program", Utf16ToUtf8(record.program)},
      {"command_line", Utf16ToUtf8(record.command_line)},
      {"modules", modules},
      {"windows", WindowsTable(record.windows)},
  };
  std::ostringstream text;
  text << table << "\n";
  return WriteHostFile(folder + "/" + BaseName(record.id) + ".toml", text.str(), false);
}

std::vector<ProcessRecord> LiveProcesses() {
  std::vector<ProcessRecord> live;
  std::string folder = TableFolder();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(folder.empty() ? nullptr : opendir(folder.c_str()), closedir);
  if (!dir) return live;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name.size() < 6 || name.compare(name.size() - 5, 5, ".toml") != 0) continue;
    std::optional<ProcessRecord> record = ReadRecord(folder + "/" + name);
    if (record && IsRunning(record->id)) live.push_back(std::move(*record));
  }
  std::sort(live.begin(), live.end(),
            [](const ProcessRecord& a, const ProcessRecord& b) { return a.id.pid < b.id.pid; });
  return live;
}

std::optional<ProcessRecord> FindLiveProcess(DWORD pid) {
  std::optional<ProcessIdentity> id = IdentityOf(pid);
  std::string folder = TableFolder();
  if (!id || folder.empty()) return std::nullopt;
  std::optional<ProcessRecord> record = ReadRecord(folder + "/" + BaseName(*id) + ".toml");
  if (record && IsRunning(record->id)) return record;
  return std::nullopt;
}

bool RecordExitCode(const ProcessIdentity& id, DWORD code) {
  std::string folder = TableFolder();
  if (folder.empty() || !MakeHostFolders(folder, DeviceRoot().size())) return false;
  std::string path = folder + "/" + BaseName(id) + ".exit";
  std::string temp = path + "." + std::to_string(getpid()) + ".new";
  if (!WriteHostFile(temp, std::to_string(code) + "\n", false)) return false;
  bool recorded = link(temp.c_str(), path.c_str()) == 0;  // fails when a code is there
  unlink(temp.c_str());
  return recorded;
}

std::optional<DWORD> RecordedExitCode(const ProcessIdentity& id) {
  std::string folder = TableFolder();
  if (folder.empty()) return std::nullopt;
  std::ifstream in(folder + "/" + BaseName(id) + ".exit");
  unsigned long long code;
  if (!(in >> code)) return std::nullopt;
  return DWORD(code);
}

std::vector<DeviceProcess> ListDeviceProcesses() {
  std::vector<DeviceProcess> list;
  for (ProcessRecord& record : LiveProcesses()) {
    list.push_back({record.id.pid, record.parent, std::move(record.program),
                    std::move(record.command_line), std::move(record.modules)});
  }
  return list;
}

}  // namespace coredll
