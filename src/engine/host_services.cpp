#include "engine/host_services.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/macro_table.h"
#include "engine/selection.h"
#include "engine/status_reporter.h"
#include "services/file_services.h"
#include "services/platform_services.h"
#include "services/process_services.h"
#include "services/program_services.h"
#include "services/registry_services.h"

namespace stowkit {
namespace {

Engine& TheEngine() { return *GetEngine(); }

// A null pointer stays a null view, which CopyRegTree tells apart from empty text; every
// other service takes it as empty.
std::u16string_view Text(LPCWSTR text) {
  return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

// The copy of every text slot, as wcsncpy makes it.
WCHAR* CopyOut(std::u16string_view text, WCHAR* buffer, DWORD length) {
  if (buffer == nullptr) return buffer;
  size_t copied = std::min<size_t>(text.size(), length);
  std::copy_n(text.data(), copied, buffer);
  std::fill(buffer + copied, buffer + length, u'\0');
  return buffer;
}

template <typename T>
void Store(T* out, T value) {
  if (out != nullptr) *out = value;
}

// Package::GetEntry would take an index that wraps to a negative int for the last entry.
CatalogEntry* EntryAt(DWORD index) {
  const Package& package = *TheEngine().package;
  if (index >= DWORD(package.NumEntries())) return nullptr;
  return package.GetEntry(int(index));
}

bool IsPropertyId(DWORD id) { return id <= 0xFF; }

// The slots, named as in HostServices and in its order.
namespace slot {

int32_t GetMode() { return TheEngine().mode; }
WCHAR* GetAppName(WCHAR* buffer, DWORD length) {
  return CopyOut(TheEngine().application_name, buffer, length);
}
WCHAR* GetDisplayName(WCHAR* buffer, DWORD length) {
  return CopyOut(TheEngine().display_name, buffer, length);
}
WCHAR* GetPackagePath(WCHAR* buffer, DWORD length) {
  return CopyOut(TheEngine().package_path, buffer, length);
}
WCHAR* GetWorkFolder(WCHAR* buffer, DWORD length) {
  return CopyOut(TheEngine().work_folder, buffer, length);
}
WCHAR* GetUserName(WCHAR* buffer, DWORD length) {
  return CopyOut(TheEngine().user_name, buffer, length);
}
WCHAR* GetUserLanguage(WCHAR* buffer, DWORD length) {
  return CopyOut(TheEngine().user_language, buffer, length);
}
DWORD GetPackageVersion() { return TheEngine().package_version; }

BOOL IsFeatureEnabled(LPCWSTR names) {
  return TheEngine().selection.features.IsEnabled(Text(names));
}
void DisableFeature(LPCWSTR names) {
  Engine& engine = TheEngine();
  DisableFeatureAtRunTime(Text(names), engine.selection.features, *engine.package);
}
BOOL IsLanguageEnabled(LPCWSTR names) {
  return TheEngine().selection.languages.IsEnabled(Text(names));
}
void DisableLanguage(LPCWSTR names) {
  Engine& engine = TheEngine();
  DisableLanguageAtRunTime(Text(names), engine.selection.languages, *engine.package);
}

// A value that does not expand leaves its message in the last error text, as every
// expansion of the run does; the caller gets what did expand.
BOOL GetMacro(LPCWSTR name, WCHAR* buffer, DWORD length) {
  Engine& engine = TheEngine();
  std::u16string value;
  bool expanded = engine.macros.GetMacro(Text(name), value) &&
                  SUCCEEDED(ExpandMacros(engine.macros, value, engine.last_error_text));
  CopyOut(value, buffer, length);
  return expanded;
}
void SetMacro(LPCWSTR name, LPCWSTR value) { TheEngine().macros.SetMacro(Text(name), Text(value)); }

DWORD GetEntryCount() { return DWORD(TheEngine().package->NumEntries()); }
BOOL GetEntryInfo(DWORD index, BYTE* type, BYTE* entry_flags, BYTE* type_flags) {
  const CatalogEntry* entry = EntryAt(index);
  Store(type, entry != nullptr ? entry->EntryType() : BYTE{0});
  Store(entry_flags, entry != nullptr ? entry->EntryFlags() : BYTE{0});
  Store(type_flags, entry != nullptr ? entry->TypeFlags() : BYTE{0});
  return entry != nullptr;
}
BOOL GetEntryProperty(DWORD index, DWORD property_id, WCHAR* buffer, DWORD length) {
  const CatalogEntry* entry = EntryAt(index);
  std::optional<std::u16string_view> value;
  if (entry != nullptr && IsPropertyId(property_id)) value = entry->Properties().Find(uint8_t(property_id));
  CopyOut(value.value_or(std::u16string_view()), buffer, length);
  return value.has_value();
}
void SetEntryProperty(DWORD index, DWORD property_id, LPCWSTR value) {
  CatalogEntry* entry = EntryAt(index);
  if (entry != nullptr && IsPropertyId(property_id)) {
    entry->SetProperty(uint8_t(property_id), Text(value));
  }
}
void EnableSecondaryFeatures(LPCWSTR names) {
  TheEngine().selection.secondary_features.Enable(Text(names));
}
// A library's lines are written as it logs them: it may next wait or ask in ways the engine
// cannot see.
void SetError(LPCWSTR text) {
  TheEngine().ReportError(Text(text));
  report::Flush();
}
void Log(LPCWSTR text) {
  report::Debug(Text(text));
  report::Flush();
}

int CreateFolder(LPCWSTR path) { return stowkit::CreateFolder(Text(path)); }
int DeleteFolder(LPCWSTR path, BOOL delete_files) {
  return stowkit::DeleteFolder(Text(path), delete_files != 0);
}
int EnsureParentFolder(LPCWSTR file_path) { return stowkit::EnsureParentFolder(Text(file_path)); }
int FileExists(LPCWSTR path) { return stowkit::FileExists(Text(path)); }
int DeleteFile(LPCWSTR path) { return ForceDeleteFile(Text(path)); }
void JoinPath(LPCWSTR folder, LPCWSTR name, WCHAR* buffer, DWORD length) {
  CopyOut(stowkit::JoinPath(Text(folder), Text(name)), buffer, length);
}
void PathFileName(LPCWSTR path, WCHAR* buffer, DWORD length) {
  std::u16string name;
  stowkit::PathFileName(Text(path), name);
  CopyOut(name, buffer, length);
}
void PathFolder(LPCWSTR path, WCHAR* buffer, DWORD length) {
  std::u16string folder;
  stowkit::PathFolder(Text(path), folder);
  CopyOut(folder, buffer, length);
}

int SetRegString(HKEY root, LPCWSTR key, LPCWSTR name, LPCWSTR text) {
  return stowkit::SetRegString(root, Text(key), Text(name), Text(text), kRegDefaultFlags);
}
int SetRegDword(HKEY root, LPCWSTR key, LPCWSTR name, DWORD value) {
  return stowkit::SetRegDword(root, Text(key), Text(name), value, kRegDefaultFlags);
}
int GetRegString(HKEY root, LPCWSTR key, LPCWSTR name, WCHAR* buffer, DWORD length) {
  std::u16string text;
  int result = stowkit::GetRegString(root, Text(key), Text(name), text);
  CopyOut(text, buffer, length);
  return result;
}
int GetRegDword(HKEY root, LPCWSTR key, LPCWSTR name, DWORD* value) {
  uint32_t number = 0;
  int result = stowkit::GetRegDword(root, Text(key), Text(name), number);
  if (result != 0) Store(value, number);
  return result;
}
int DeleteRegKey(HKEY root, LPCWSTR key) {
  return stowkit::DeleteRegKey(root, Text(key), kRegDefaultFlags);
}
int DeleteRegValue(HKEY root, LPCWSTR key, LPCWSTR name) {
  return stowkit::DeleteRegValue(root, Text(key), Text(name), kRegDefaultFlags);
}

BOOL RegisterLibrary(LPCWSTR path) { return SUCCEEDED(RegisterServer(Text(path))); }
BOOL UnregisterLibrary(LPCWSTR path) { return SUCCEEDED(UnregisterServer(Text(path))); }
int CreateShortcut(LPCWSTR shortcut, LPCWSTR target, LPCWSTR arguments, LPCWSTR icon) {
  return stowkit::CreateShortcut(Text(shortcut), Text(target), Text(arguments), Text(icon));
}
int DeleteShortcut(LPCWSTR shortcut) { return stowkit::DeleteShortcut(Text(shortcut)); }
int RunProgram(LPCWSTR program, LPCWSTR arguments, BOOL wait, DWORD unused, DWORD* exit_code) {
  return stowkit::RunProgram(Text(program), Text(arguments), wait != 0, unused, exit_code);
}
int CloseWindowProgram(LPCWSTR window_class, UINT message, WPARAM wparam, LPARAM lparam,
                       BOOL terminate) {
  return CloseWindowProcess(Text(window_class), message, wparam, lparam, terminate != 0);
}
int CloseProgramsByName(LPCWSTR program) { return CloseProcessesByName(Text(program)); }
int FindProgramUsingFile(LPCWSTR file, WCHAR* buffer, DWORD length) {
  std::u16string program;
  int result = FindModuleUser(Text(file), program);
  CopyOut(program, buffer, length);
  return result;
}
int Reserved43() { return 1; }
void ServeMessages() {}
int Wait(HANDLE handle, DWORD timeout_ms) { return WaitWithMessages(handle, timeout_ms); }
DWORD GetPlatformType(DWORD* type) {
  DWORD platform = stowkit::GetPlatformType();
  Store(type, platform);
  return platform;
}
DWORD Reserved47(DWORD value) { return value; }
DWORD Reserved48(DWORD value) { return value; }
void ErrorText(HRESULT hr, WCHAR* buffer, DWORD length) {
  CopyOut(stowkit::ErrorText(uint32_t(hr)), buffer, length);
}
int CopyRegTree(HKEY source_root, LPCWSTR source_key, HKEY target_root, LPCWSTR target_key) {
  return stowkit::CopyRegTree(source_root, Text(source_key), target_root, Text(target_key));
}
void RequestRestart(DWORD value) { SetRestartRequest(value); }

}  // namespace slot
}  // namespace

static_assert(PKG_PLATFORM_UNKNOWN == kPlatformUnknown && PKG_PLATFORM_DESKTOP == kPlatformDesktop &&
                  PKG_PLATFORM_POCKET_PC == kPlatformPocketPC &&
                  PKG_PLATFORM_SMARTPHONE == kPlatformSmartphone &&
                  PKG_PLATFORM_OTHER_CE == kPlatformOtherCE,
              "the public platform types are the service's");
static_assert(sizeof(HostServices) == STOWKIT_HOST_SERVICE_COUNT * sizeof(void (*)()),
              "one function pointer per slot");

void FillHostServices(HostServices& table) {
  table = HostServices{
      .GetMode = slot::GetMode,
      .GetAppName = slot::GetAppName,
      .GetDisplayName = slot::GetDisplayName,
      .GetPackagePath = slot::GetPackagePath,
      .GetWorkFolder = slot::GetWorkFolder,
      .GetUserName = slot::GetUserName,
      .GetUserLanguage = slot::GetUserLanguage,
      .GetPackageVersion = slot::GetPackageVersion,
      .IsFeatureEnabled = slot::IsFeatureEnabled,
      .DisableFeature = slot::DisableFeature,
      .IsLanguageEnabled = slot::IsLanguageEnabled,
      .DisableLanguage = slot::DisableLanguage,
      .GetMacro = slot::GetMacro,
      .SetMacro = slot::SetMacro,
      .GetEntryCount = slot::GetEntryCount,
      .GetEntryInfo = slot::GetEntryInfo,
      .GetEntryProperty = slot::GetEntryProperty,
      .SetEntryProperty = slot::SetEntryProperty,
      .EnableSecondaryFeatures = slot::EnableSecondaryFeatures,
      .SetError = slot::SetError,
      .Log = slot::Log,
      .CreateFolder = slot::CreateFolder,
      .DeleteFolder = slot::DeleteFolder,
      .EnsureParentFolder = slot::EnsureParentFolder,
      .FileExists = slot::FileExists,
      .DeleteFile = slot::DeleteFile,
      .JoinPath = slot::JoinPath,
      .PathFileName = slot::PathFileName,
      .PathFolder = slot::PathFolder,
      .SetRegString = slot::SetRegString,
      .SetRegDword = slot::SetRegDword,
      .GetRegString = slot::GetRegString,
      .GetRegDword = slot::GetRegDword,
      .DeleteRegKey = slot::DeleteRegKey,
      .DeleteRegValue = slot::DeleteRegValue,
      .RegisterLibrary = slot::RegisterLibrary,
      .UnregisterLibrary = slot::UnregisterLibrary,
      .CreateShortcut = slot::CreateShortcut,
      .DeleteShortcut = slot::DeleteShortcut,
      .RunProgram = slot::RunProgram,
      .CloseWindowProgram = slot::CloseWindowProgram,
      .CloseProgramsByName = slot::CloseProgramsByName,
      .FindProgramUsingFile = slot::FindProgramUsingFile,
      .Reserved43 = slot::Reserved43,
      .ServeMessages = slot::ServeMessages,
      .Wait = slot::Wait,
      .GetPlatformType = slot::GetPlatformType,
      .Reserved47 = slot::Reserved47,
      .Reserved48 = slot::Reserved48,
      .ErrorText = slot::ErrorText,
      .CopyRegTree = slot::CopyRegTree,
      .RequestRestart = slot::RequestRestart,
  };
}

}  // namespace stowkit
