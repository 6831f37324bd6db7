// Libraries: device files loaded as host shared objects and held in use while loaded, and
// the built-in ones. A module handle is the address of its record here.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <list>
#include <mutex>
#include <string>

#include "platform/device/errors.h"
#include "platform/device/faults.h"
#include "platform/device/host_files.h"
#include "platform/files/paths.h"
#include "platform/files/share_locks.h"
#include "platform/processes/builtin_modules.h"
#include "platform/processes/module_symbols.h"
#include "platform/processes/process_self.h"
#include "text/fold.h"
#include "text/utf.h"

namespace coredll {
namespace {

struct LoadedModule {
  std::u16string device_path;
  std::string host_path;
  void* library = nullptr;
  UniqueFd file;  // held open: a loaded library is in use
  int references = 0;
};

struct Modules {
  std::recursive_mutex mutex;
  std::list<LoadedModule> loaded;  // stable addresses: they are the handles
};

Modules& AllModules() {
  static Modules* modules = new Modules;
  return *modules;
}

// The program's own module handle.
const char kProgramModule = 0;

std::u16string FileNamePart(std::u16string_view path) {
  size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

bool IsBareName(std::u16string_view name) { return name.find_first_of(u"\\/") == std::u16string_view::npos; }

// A built-in library named by its bare name or as \Windows\<name>.
const BuiltinModule* BuiltinFor(std::u16string_view name) {
  std::u16string file = FileNamePart(name);
  if (!IsBareName(name) && !stowkit::EqualsNoCase(name, u"\\Windows\\" + file)) return nullptr;
  return FindBuiltin(file);
}

// The device file a name stands for: the path itself, or a bare name in \Windows, then \.
bool FindLibraryFile(std::u16string_view name, ResolvedPath& path) {
  std::u16string candidates[2] = {std::u16string(name), u""};
  if (IsBareName(name)) {
    candidates[0] = u"\\Windows\\" + std::u16string(name);
    candidates[1] = u"\\" + std::u16string(name);
  }
  for (const std::u16string& candidate : candidates) {
    if (!candidate.empty() && ResolvePath(candidate.c_str(), path) && path.exists &&
        S_ISREG(path.st.st_mode)) {
      return true;
    }
  }
  return false;
}

LoadedModule* FindLoaded(Modules& modules, std::u16string_view name) {
  bool bare = IsBareName(name);
  for (LoadedModule& m : modules.loaded) {
    std::u16string candidate = bare ? FileNamePart(m.device_path) : m.device_path;
    if (stowkit::EqualsNoCase(candidate, name)) return &m;
  }
  return nullptr;
}

// The module of the library at `path`, loaded once; null when it is no library
// (ERROR_BAD_EXE_FORMAT).
HMODULE Load(Modules& modules, const ResolvedPath& path) {
  for (LoadedModule& m : modules.loaded) {
    if (m.host_path == path.host) {
      ++m.references;
      return &m;
    }
  }
  void* library = dlopen(path.host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  LoadedModule& m = modules.loaded.emplace_back();
  m.device_path = path.device;
  m.host_path = path.host;
  m.library = library;
  m.references = 1;
  m.file = UniqueFd(open(path.host.c_str(), O_RDONLY | O_CLOEXEC));
  if (m.file.valid()) HoldAsModule(m.file.get());
  AddSelfModule(m.device_path);
  return &m;
}

LoadedModule* AsLoaded(Modules& modules, HMODULE module) {
  for (LoadedModule& m : modules.loaded) {
    if (&m == module) return &m;
  }
  return nullptr;
}

const BuiltinModule* AsBuiltin(HMODULE module) {
  for (const char16_t* name : {u"coredll.dll", u"toolhelp.dll", u"aygshell.dll"}) {
    const BuiltinModule* builtin = FindBuiltin(name);
    if (builtin && builtin == module) return builtin;
  }
  return nullptr;
}

// Copies `path` into the buffer, cut to fit: its length in `copied`, and
// ERROR_INSUFFICIENT_BUFFER when it was cut (or ERROR_INVALID_PARAMETER for no buffer).
DWORD CopyOut(const std::u16string& path, LPWSTR buffer, DWORD size, DWORD& copied) {
  if (!buffer || size == 0) return ERROR_INVALID_PARAMETER;
  copied = DWORD(std::min<size_t>(path.size(), size - 1));
  std::copy_n(path.begin(), copied, buffer);
  buffer[copied] = 0;
  return copied < path.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS;
}

}  // namespace

DWORD FindModuleSymbol(HMODULE module, const char* name, WORD ordinal, FARPROC& found) {
  found = nullptr;
  if (const BuiltinModule* builtin = AsBuiltin(module)) {
    found = BuiltinProcAddress(*builtin, name, ordinal);
    return ERROR_SUCCESS;
  }
  Modules& modules = AllModules();
  std::lock_guard lock(modules.mutex);
  LoadedModule* m = AsLoaded(modules, module);
  if (!m) return ERROR_INVALID_HANDLE;
  if (name) found = reinterpret_cast<FARPROC>(dlsym(m->library, name));
  return ERROR_SUCCESS;
}

}  // namespace coredll

using namespace coredll;

HMODULE LoadLibraryW(LPCWSTR name) {
  if (!name || !*name) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  if (Fault fault = CheckFault(FaultOp::kLoad, name)) return Fail(fault.error), nullptr;
  if (const BuiltinModule* builtin = BuiltinFor(name)) {
    return const_cast<BuiltinModule*>(builtin);
  }
  Modules& modules = AllModules();
  std::lock_guard lock(modules.mutex);
  ResolvedPath path;
  if (!FindLibraryFile(name, path)) return Fail(ERROR_MOD_NOT_FOUND), nullptr;
  HMODULE module = Load(modules, path);
  return module ? module : (Fail(ERROR_BAD_EXE_FORMAT), nullptr);
}

BOOL FreeLibrary(HMODULE module) {
  if (AsBuiltin(module)) return TRUE;
  Modules& modules = AllModules();
  std::lock_guard lock(modules.mutex);
  LoadedModule* m = AsLoaded(modules, module);
  if (!m) return Fail(ERROR_INVALID_HANDLE);
  if (--m->references > 0) return TRUE;
  dlclose(m->library);
  RemoveSelfModule(m->device_path);
  modules.loaded.remove_if([m](const LoadedModule& x) { return &x == m; });
  return TRUE;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  uintptr_t value = reinterpret_cast<uintptr_t>(name);
  bool by_ordinal = value != 0 && value < 0x10000;
  if (!name) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  std::string symbol = by_ordinal ? std::string() : stowkit::Utf16ToUtf8(name);
  FARPROC found = nullptr;
  DWORD error = FindModuleSymbol(module, by_ordinal ? nullptr : symbol.c_str(), WORD(value), found);
  if (error) return Fail(error), nullptr;
  if (!found) Fail(ERROR_PROC_NOT_FOUND);
  return found;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (!name) return HMODULE(&kProgramModule);
  if (const BuiltinModule* builtin = BuiltinFor(name)) return const_cast<BuiltinModule*>(builtin);
  Modules& modules = AllModules();
  std::lock_guard lock(modules.mutex);
  if (LoadedModule* m = FindLoaded(modules, name)) return m;
  return Fail(ERROR_MOD_NOT_FOUND), nullptr;
}

// Last-error is ERROR_SUCCESS when the whole name fitted, ERROR_INSUFFICIENT_BUFFER when not.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  auto copy_out = [&](const std::u16string& path) {
    DWORD copied = 0;
    SetLastError(CopyOut(path, buffer, size, copied));
    return copied;
  };
  if (!module || module == &kProgramModule) return copy_out(PlatformPathOf(HostProgramPath()));
  if (const BuiltinModule* builtin = AsBuiltin(module)) {
    return copy_out(u"\\Windows\\" + std::u16string(builtin->name));
  }
  Modules& modules = AllModules();
  std::lock_guard lock(modules.mutex);
  LoadedModule* m = AsLoaded(modules, module);
  if (!m) return Fail(ERROR_INVALID_HANDLE);
  return copy_out(m->device_path);
}
