#include "services/program_services.h"

#include "services/file_services.h"
#include "services/hresult.h"
#include "services/process_services.h"
#include "text/fold.h"
#include "text/format.h"

namespace stowkit {
namespace {

using ServerEntry = HRESULT (*)();

HRESULT CallServerEntry(std::u16string_view library, const char16_t* entry_name) {
  std::u16string path(library);
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) return HResultFromError(GetLastError());
  auto entry = reinterpret_cast<ServerEntry>(GetProcAddressW(module, entry_name));
  HRESULT result = entry ? entry() : HResultFromError(GetLastError());
  FreeLibrary(module);
  return result;
}

std::u16string ShortcutPath(std::u16string_view shortcut) {
  std::u16string path(shortcut);
  if (path.size() < 4 || !EqualsNoCase(std::u16string_view(path).substr(path.size() - 4), u".lnk")) {
    path += u".lnk";
  }
  return path;
}

}  // namespace

HRESULT RegisterServer(std::u16string_view library) {
  return CallServerEntry(library, u"DllRegisterServer");
}

HRESULT UnregisterServer(std::u16string_view library) {
  return CallServerEntry(library, u"DllUnregisterServer");
}

int CreateShortcut(std::u16string_view shortcut, std::u16string_view target,
                   std::u16string_view arguments, std::u16string_view) {
  DeleteShortcut(shortcut);
  std::u16string path = ShortcutPath(shortcut);
  EnsureParentFolder(path);
  std::u16string text;
  if (!target.empty() && target.front() == u'"') {
    text = target;
  } else {
    text = Format(u"\"%s\"", target);
  }
  if (!arguments.empty()) {
    text += u' ';
    text += arguments;
  }
  return SHCreateShortcut(path.data(), text.data()) ? 1 : 0;
}

int DeleteShortcut(std::u16string_view shortcut) {
  if (ForceDeleteFile(ShortcutPath(shortcut))) return 1;
  return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 0;
}

int RunProgram(std::u16string_view program, std::u16string_view arguments, bool wait, DWORD,
               DWORD* exit_code) {
  if (exit_code) *exit_code = 0;
  std::u16string module(program);
  std::u16string command_line = Format(u"\"%s\" %s", program, arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(module.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return 0;
  }
  if (wait) WaitWithMessages(info.hProcess, INFINITE);
  if (exit_code) GetExitCodeProcess(info.hProcess, exit_code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 1;
}

}  // namespace stowkit
