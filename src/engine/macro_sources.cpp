#include "engine/macro_sources.h"

#include "coredll/loader.h"
#include "coredll/shellapi.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "services/registry_services.h"

namespace stowkit {
namespace {

// The special folder `folder`, or "" when the platform has none.
std::u16string SpecialFolder(int folder, bool create) {
  WCHAR path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPath(nullptr, path, folder, create)) return std::u16string();
  return path;
}

std::u16string ProgramFilesFallback() {
  std::u16string top;
  if (!GetRegString(HKEY_LOCAL_MACHINE, u"ROvuz\\Attachments", u"TopDir", top)) {
    return u"\\Program Files";
  }
  return !top.empty() && top[0] == u'\\' ? top : u"\\" + top;
}

std::u16string WindowsFallback() {
  HMODULE core = LoadLibraryW(u"coredll.dll");
  if (!core) return u"\\windows";
  WCHAR path[MAX_PATH] = {};
  GetModuleFileNameW(core, path, MAX_PATH);
  FreeLibrary(core);
  std::u16string folder;
  PathFolder(path, folder);
  return folder;
}

void SetPropertyMacro(MacroTable& table, std::u16string_view name, const Package& package,
                      uint8_t id) {
  std::u16string value, existing;
  if (!table.GetMacro(name, existing) && package.GetProperty(id, value)) {
    table.SetMacro(name, value);
  }
}

void SetPackageMacros(MacroTable& table, const Package& package) {
  for (int i = 0; i < package.NumEntries(); ++i) {
    const CatalogEntry* entry = package.GetEntry(i);
    if (entry->EntryType() != kMacroDefs) continue;
    for (const auto& [id, text] : entry->Properties()) {
      if (id < kFirstMacroId) continue;
      std::u16string name, value;
      SplitNameValue(text, name, value);
      table.SetMacro(name, value);
    }
  }
}

}  // namespace

void SetDeviceFolderMacros(MacroTable& table) {
  std::u16string program_files = SpecialFolder(CSIDL_PROGRAM_FILES, false);
  table.SetMacro(u"PROGRAMFILES", program_files.empty() ? ProgramFilesFallback() : program_files);
  std::u16string windows = SpecialFolder(CSIDL_WINDOWS, false);
  table.SetMacro(u"WINDIR", windows.empty() ? WindowsFallback() : windows);

  static constexpr struct {
    const char16_t* name;
    int folder;
  } kCreatable[] = {
      {u"STARTUP", CSIDL_STARTUP},     {u"MYDOCUMENTS", CSIDL_PERSONAL},
      {u"PROGRAMS", CSIDL_PROGRAMS},   {u"FAVORITES", CSIDL_FAVORITES},
      {u"STARTMENU", CSIDL_STARTMENU}, {u"APPDATA", CSIDL_APPDATA},
  };
  for (const auto& macro : kCreatable) {
    std::u16string path = SpecialFolder(macro.folder, false);
    if (path.empty()) path = SpecialFolder(macro.folder, true);
    table.SetMacro(macro.name, path);
  }
}

void BuildMacroTable(MacroTable& table, std::u16string_view work_folder, const Package& package,
                     const MacroTable& command_line) {
  table.SetMacro(u"SUPPORTDIR", work_folder);
  SetPropertyMacro(table, u"LANG", package, kUserLanguage);
  SetPropertyMacro(table, u"USERNAME", package, kUserName);
  SetDeviceFolderMacros(table);
  SetPackageMacros(table, package);
  for (const auto& [key, value] : command_line) table.SetMacro(key, value);
}

}  // namespace stowkit
