#include "platform/processes/builtin_modules.h"

#include <dlfcn.h>

#include <cstring>
#include <iterator>

#include "platform/device/device_state.h"
#include "platform/processes/toolhelp.h"
#include "text/fold.h"

namespace coredll {
namespace {

template <typename F>
FARPROC Entry(F function) {
  return reinterpret_cast<FARPROC>(function);
}

const BuiltinExport kToolhelpExports[] = {
    {"CreateToolhelp32Snapshot", 0, Entry(toolhelp::CreateToolhelp32Snapshot)},
    {"CloseToolhelp32Snapshot", 0, Entry(toolhelp::CloseToolhelp32Snapshot)},
    {"Process32First", 0, Entry(toolhelp::Process32First)},
    {"Process32Next", 0, Entry(toolhelp::Process32Next)},
    {"Module32First", 0, Entry(toolhelp::Module32First)},
    {"Module32Next", 0, Entry(toolhelp::Module32Next)},
};

// Entries of coredll.dll that a device may lack.
const BuiltinExport kOptionalPlatformExports[] = {
    {"SetSystemPowerState", 0, nullptr,
     [](const DeviceProfile& p) { return p.has_power_manager; }},
};

const BuiltinModule kBuiltins[] = {
    {u"coredll.dll", [](const DeviceProfile&) { return true; }, nullptr, 0},
    {u"toolhelp.dll", [](const DeviceProfile& p) { return p.has_toolhelp; }, kToolhelpExports,
     std::size(kToolhelpExports)},
    {u"aygshell.dll", [](const DeviceProfile& p) { return p.has_aygshell; }, AygshellExports(),
     AygshellExportCount()},
};

// Every call the platform exports, found in the platform library itself.
FARPROC PlatformSymbol(const char* name) {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&PlatformSymbol), &info)) return nullptr;
  void* self = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (!self) return nullptr;
  void* symbol = dlsym(self, name);
  dlclose(self);
  return reinterpret_cast<FARPROC>(symbol);
}

}  // namespace

const BuiltinModule* FindBuiltin(std::u16string_view file_name) {
  for (const BuiltinModule& module : kBuiltins) {
    if (stowkit::EqualsNoCase(module.name, file_name)) {
      return module.present(Profile()) ? &module : nullptr;
    }
  }
  return nullptr;
}

FARPROC BuiltinProcAddress(const BuiltinModule& module, const char* name, WORD ordinal) {
  if (!module.exports) {
    for (const BuiltinExport& e : kOptionalPlatformExports) {
      if (name && std::strcmp(e.name, name) == 0 && !e.present(Profile())) return nullptr;
    }
    return name ? PlatformSymbol(name) : nullptr;
  }
  for (size_t i = 0; i < module.export_count; ++i) {
    const BuiltinExport& e = module.exports[i];
    bool match = name ? std::strcmp(e.name, name) == 0 : (e.ordinal != 0 && e.ordinal == ordinal);
    if (match) return (!e.present || e.present(Profile())) ? e.function : nullptr;
  }
  return nullptr;
}

}  // namespace coredll
