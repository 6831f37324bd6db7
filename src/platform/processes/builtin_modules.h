// The libraries built into the platform: "coredll.dll" (every exported call), and
// "toolhelp.dll" and "aygshell.dll" with their own tables, each present or absent as the
// device profile says.
#pragma once

#include <string_view>

#include "coredll/loader.h"
#include "platform/device/profile.h"

namespace coredll {

struct BuiltinExport {
  const char* name;
  WORD ordinal;  // 0: by name only
  FARPROC function;
  bool (*present)(const DeviceProfile& profile) = nullptr;  // null: always there
};

struct BuiltinModule {
  const char16_t* name;
  bool (*present)(const DeviceProfile& profile);
  const BuiltinExport* exports;  // null: every symbol the platform exports
  size_t export_count;
};

// The built-in library of that file name (compared without case), if the profile has it.
const BuiltinModule* FindBuiltin(std::u16string_view file_name);

// The entries of the built-in "aygshell.dll".
const BuiltinExport* AygshellExports();
size_t AygshellExportCount();

// A built-in library's entry by name, or by ordinal when `name` is null; null when the
// library or this device's profile lacks it.
FARPROC BuiltinProcAddress(const BuiltinModule& module, const char* name, WORD ordinal);

}  // namespace coredll
