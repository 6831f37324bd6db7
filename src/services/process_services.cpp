#include "services/process_services.h"

#include <map>
#include <set>

#include "coredll/toolhelp.h"
#include "services/file_services.h"
#include "text/fold.h"

namespace stowkit {
namespace {

// The exit code of a process ended because it did not close when asked (E_ABORT).
constexpr UINT kClosedByNameExitCode = 0x80004004u;
// The exit code of a process ended by CloseWindowProcess.
constexpr UINT kClosedByWindowExitCode = 0;
// How long a process that was asked to close gets to end.
constexpr DWORD kCloseTimeoutMs = 10000;

// "toolhelp.dll" and its entries for the length of one call. Any entry may be missing.
class Toolhelp {
 public:
  Toolhelp() : library_(LoadLibraryW(u"toolhelp.dll")) {
    if (!library_) return;
    create = Entry<PFN_CreateToolhelp32Snapshot>(u"CreateToolhelp32Snapshot");
    close = Entry<PFN_CloseToolhelp32Snapshot>(u"CloseToolhelp32Snapshot");
    process_first = Entry<PFN_Process32First>(u"Process32First");
    process_next = Entry<PFN_Process32Next>(u"Process32Next");
    module_first = Entry<PFN_Module32First>(u"Module32First");
    module_next = Entry<PFN_Module32Next>(u"Module32Next");
  }
  ~Toolhelp() {
    if (library_) FreeLibrary(library_);
  }
  Toolhelp(const Toolhelp&) = delete;
  Toolhelp& operator=(const Toolhelp&) = delete;

  bool HasProcessEntries() const { return create && close && process_first && process_next; }
  bool HasAllEntries() const { return HasProcessEntries() && module_first && module_next; }

  PFN_CreateToolhelp32Snapshot create = nullptr;
  PFN_CloseToolhelp32Snapshot close = nullptr;
  PFN_Process32First process_first = nullptr;
  PFN_Process32Next process_next = nullptr;
  PFN_Module32First module_first = nullptr;
  PFN_Module32Next module_next = nullptr;

 private:
  template <typename Function>
  Function Entry(const char16_t* name) {
    return reinterpret_cast<Function>(GetProcAddressW(library_, name));
  }

  HMODULE library_;
};

// A snapshot closed with the tool-help call made for it (CloseHandle would leak it on CE).
class Snapshot {
 public:
  Snapshot(const Toolhelp& toolhelp, DWORD kind, DWORD process_id)
      : close_(toolhelp.close), handle_(toolhelp.create(kind, process_id)) {}
  ~Snapshot() {
    if (valid()) close_(handle_);
  }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  PFN_CloseToolhelp32Snapshot close_;
  HANDLE handle_;
};

// The record size goes in before every call: the platform reads it to know the layout.
bool NextProcess(const Toolhelp& toolhelp, const Snapshot& snapshot, bool first,
                 PROCESSENTRY32W& entry) {
  entry.dwSize = sizeof entry;
  return (first ? toolhelp.process_first : toolhelp.process_next)(snapshot.get(), &entry);
}

bool NextModule(const Toolhelp& toolhelp, const Snapshot& snapshot, bool first,
                MODULEENTRY32W& entry) {
  entry.dwSize = sizeof entry;
  return (first ? toolhelp.module_first : toolhelp.module_next)(snapshot.get(), &entry);
}

std::u16string FileName(std::u16string_view path) {
  std::u16string name;
  PathFileName(path, name);
  return name;
}

bool RunsProgram(const PROCESSENTRY32W& process, std::u16string_view program_name) {
  return EqualsNoCase(FileName(process.szExeFile), program_name);
}

bool HasModule(const Toolhelp& toolhelp, DWORD process_id, std::u16string_view module_name) {
  Snapshot modules(toolhelp, TH32CS_SNAPMODULE, process_id);
  if (!modules.valid()) return false;
  MODULEENTRY32W module;
  for (bool ok = NextModule(toolhelp, modules, true, module); ok;
       ok = NextModule(toolhelp, modules, false, module)) {
    if (EqualsNoCase(module.szModule, module_name)) return true;
  }
  return false;
}

// This process and the ones waiting for it: its parent, the parent's parent, and so on (an
// installer started by an installer, which waits for it). Read from one process snapshot.
std::set<DWORD> OwnChain(const Toolhelp& toolhelp, const Snapshot& processes) {
  std::map<DWORD, DWORD> parents;
  PROCESSENTRY32W process;
  for (bool ok = NextProcess(toolhelp, processes, true, process); ok;
       ok = NextProcess(toolhelp, processes, false, process)) {
    parents[process.th32ProcessID] = process.th32ParentProcessID;
  }
  std::set<DWORD> chain;
  // A pid seen twice ends the walk: the table may name a parent that has since gone and
  // whose pid was given again.
  for (DWORD pid = GetCurrentProcessId(); pid != 0 && chain.insert(pid).second;) {
    auto found = parents.find(pid);
    if (found == parents.end()) break;
    pid = found->second;
  }
  return chain;
}

int FindModuleUserUnguarded(std::u16string_view module_name, std::u16string& process_program,
                            bool* own_chain) {
  Toolhelp toolhelp;
  if (!toolhelp.HasAllEntries()) return 0;
  Snapshot processes(toolhelp, TH32CS_SNAPPROCESS, 0);
  if (!processes.valid()) return 0;
  PROCESSENTRY32W process;
  for (bool ok = NextProcess(toolhelp, processes, true, process); ok;
       ok = NextProcess(toolhelp, processes, false, process)) {
    if (HasModule(toolhelp, process.th32ProcessID, module_name)) {
      process_program = process.szExeFile;
      if (own_chain) {
        Snapshot again(toolhelp, TH32CS_SNAPPROCESS, 0);
        *own_chain = again.valid() && OwnChain(toolhelp, again).count(process.th32ProcessID);
      }
      return 1;
    }
  }
  return 0;
}

// The first top-level window, in the platform's order, of one process.
struct WindowSearch {
  DWORD process_id;
  HWND found = nullptr;
};

BOOL StopAtWindowOf(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<WindowSearch*>(lparam);
  DWORD owner = 0;  // a window whose owner cannot be read is passed over
  if (!GetWindowThreadProcessId(window, &owner) || owner != search->process_id) return TRUE;
  search->found = window;
  return FALSE;
}

// Asks the process to close through its first window and gives it kCloseTimeoutMs; a
// process without a window, or one that stays, is terminated.
int CloseOrTerminate(HANDLE process, DWORD process_id) {
  WindowSearch search{process_id};
  EnumWindows(StopAtWindowOf, reinterpret_cast<LPARAM>(&search));
  if (search.found) {
    PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitWithMessages(process, kCloseTimeoutMs)) return 1;
  }
  if (!TerminateProcess(process, kClosedByNameExitCode)) return 0;
  // Termination only begins here: the program's files are free once it has ended.
  WaitWithMessages(process, kCloseTimeoutMs);
  return 1;
}

// Takes every message waiting and dispatches it; a quit message is taken but not
// dispatched, so it ends neither the wait nor anything else.
void DispatchWaitingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace

int WaitWithMessages(HANDLE object, DWORD timeout_ms) {
  if (!object) object = GetCurrentProcess();  // never signalled: a pause that serves messages
  for (;;) {
    // The full time-out again after every batch of messages.
    DWORD result = MsgWaitForMultipleObjectsEx(1, &object, timeout_ms, QS_ALLINPUT, 0);
    if (result == WAIT_OBJECT_0) return 1;
    if (result != WAIT_OBJECT_0 + 1) return 0;
    DispatchWaitingMessages();
  }
}

int FindModuleUser(std::u16string_view file, std::u16string& process_program, bool* own_chain) {
  process_program.clear();
  if (own_chain) *own_chain = false;
  try {
    return FindModuleUserUnguarded(FileName(file), process_program, own_chain);
  } catch (...) {
    process_program.clear();
    if (own_chain) *own_chain = false;
    return 0;
  }
}

int CloseProcessesByName(std::u16string_view program) {
  std::u16string name = FileName(program);
  Toolhelp toolhelp;
  if (!toolhelp.HasProcessEntries()) return 1;
  Snapshot processes(toolhelp, TH32CS_SNAPPROCESS, 0);
  if (!processes.valid()) return 1;
  std::set<DWORD> own_chain = OwnChain(toolhelp, processes);
  bool found = false;
  int result = 0;
  PROCESSENTRY32W entry;
  for (bool ok = NextProcess(toolhelp, processes, true, entry); ok;
       ok = NextProcess(toolhelp, processes, false, entry)) {
    if (!RunsProgram(entry, name) || own_chain.count(entry.th32ProcessID)) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    found = true;
    result |= CloseOrTerminate(process, entry.th32ProcessID);
    CloseHandle(process);
  }
  return found ? result : 1;
}

int WaitForProcessByName(std::u16string_view program, DWORD timeout_ms) {
  std::u16string name = FileName(program);
  Toolhelp toolhelp;
  if (!toolhelp.HasProcessEntries()) return 1;
  Snapshot processes(toolhelp, TH32CS_SNAPPROCESS, 0);
  if (!processes.valid()) return 1;
  PROCESSENTRY32W entry;
  for (bool ok = NextProcess(toolhelp, processes, true, entry); ok;
       ok = NextProcess(toolhelp, processes, false, entry)) {
    if (!RunsProgram(entry, name)) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    int result = WaitWithMessages(process, timeout_ms);
    CloseHandle(process);
    return result;
  }
  return 1;
}

int CloseWindowProcess(std::u16string_view class_name, UINT message, WPARAM wparam, LPARAM lparam,
                       bool terminate) {
  HWND window = FindWindowW(std::u16string(class_name).c_str(), nullptr);
  if (!window) return 1;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  // Opened before the message goes: a program that obeys at once may have ended, and be
  // past opening, by the time the post returns.
  HANDLE process =
      process_id ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id) : nullptr;
  PostMessageW(window, message, wparam, lparam);
  if (process_id == 0) return 0;
  if (!process) return 1;
  int result = 0;
  if (!WaitWithMessages(process, kCloseTimeoutMs) && terminate) {
    result = TerminateProcess(process, kClosedByWindowExitCode) ? 1 : 0;
  }
  CloseHandle(process);
  return result;
}

}  // namespace stowkit
