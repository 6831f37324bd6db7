#include "platform/processes/toolhelp.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/device/errors.h"
#include "platform/processes/handles.h"
#include "platform/processes/process_table.h"

namespace coredll::toolhelp {
namespace {

static_assert(sizeof(PROCESSENTRY32W) == 564, "the handheld's process record");
static_assert(sizeof(MODULEENTRY32W) == 1076, "the handheld's module record");

class Snapshot : public KernelObject {
 public:
  std::vector<PROCESSENTRY32W> processes;
  std::vector<MODULEENTRY32W> modules;
  size_t next_process = 0;
  size_t next_module = 0;
};

void CopyText(const std::u16string& text, WCHAR (&out)[MAX_PATH]) {
  size_t n = std::min<size_t>(text.size(), MAX_PATH - 1);
  std::copy_n(text.begin(), n, out);
  out[n] = 0;
}

PROCESSENTRY32W ProcessEntry(const ProcessRecord& record) {
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  entry.cntUsage = 1;
  entry.th32ProcessID = record.id.pid;
  entry.cntThreads = 1;
  entry.th32ParentProcessID = record.parent;
  CopyText(record.program, entry.szExeFile);
  return entry;
}

MODULEENTRY32W ModuleEntry(DWORD pid, const std::u16string& path, DWORD index) {
  MODULEENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  entry.th32ModuleID = index + 1;
  entry.th32ProcessID = pid;
  entry.GlblcntUsage = entry.ProccntUsage = 1;
  CopyText(path.substr(path.rfind(u'\\') + 1), entry.szModule);
  CopyText(path, entry.szExePath);
  return entry;
}

// The first or next entry of one of a snapshot's lists; ERROR_NO_MORE_FILES past its end.
template <typename Entry>
DWORD Next(HANDLE handle, Entry* entry, bool first,
           std::vector<Entry> Snapshot::*list, size_t Snapshot::*next) {
  auto snapshot = GetHandle<Snapshot>(handle);
  if (!snapshot) return snapshot.error;
  if (!entry || entry->dwSize < sizeof(Entry)) return ERROR_INSUFFICIENT_BUFFER;
  size_t& at = (*snapshot.object).*next;
  if (first) at = 0;
  if (at >= ((*snapshot.object).*list).size()) return ERROR_NO_MORE_FILES;
  *entry = ((*snapshot.object).*list)[at++];
  return ERROR_SUCCESS;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD process_id) {
  auto snapshot = std::make_shared<Snapshot>();
  if (flags & TH32CS_SNAPPROCESS) {
    for (const ProcessRecord& record : LiveProcesses()) snapshot->processes.push_back(ProcessEntry(record));
  }
  if (flags & TH32CS_SNAPMODULE) {
    DWORD pid = process_id ? process_id : DWORD(getpid());
    std::optional<ProcessRecord> record = FindLiveProcess(pid);
    if (!record) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    for (const std::u16string& module : record->modules) {
      snapshot->modules.push_back(ModuleEntry(pid, module, DWORD(snapshot->modules.size())));
    }
  }
  return AddHandle(std::move(snapshot));
}

BOOL CloseToolhelp32Snapshot(HANDLE snapshot) {
  if (auto object = GetHandle<Snapshot>(snapshot); !object) return Fail(object.error);
  return RemoveHandle(snapshot) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL Process32First(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return ResultOf(Next(snapshot, entry, true, &Snapshot::processes, &Snapshot::next_process));
}

BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return ResultOf(Next(snapshot, entry, false, &Snapshot::processes, &Snapshot::next_process));
}

BOOL Module32First(HANDLE snapshot, MODULEENTRY32W* entry) {
  return ResultOf(Next(snapshot, entry, true, &Snapshot::modules, &Snapshot::next_module));
}

BOOL Module32Next(HANDLE snapshot, MODULEENTRY32W* entry) {
  return ResultOf(Next(snapshot, entry, false, &Snapshot::modules, &Snapshot::next_module));
}

}  // namespace coredll::toolhelp
