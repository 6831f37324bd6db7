// The shell and system calls that depend on the device profile.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/device/restart.h"
#include "text/fold.h"
#include "text/utf.h"

namespace coredll {
namespace {

thread_local int com_depth = 0;
constexpr size_t kMaxShortcutTarget = 257;

// False when it does not fit (ERROR_INSUFFICIENT_BUFFER).
bool CopyText(const std::u16string& text, LPWSTR out, size_t capacity) {
  if (!out || text.size() + 1 > capacity) return false;
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return true;
}

bool MakeFolders(const std::u16string& path) {
  for (size_t pos = path.find(u'\\', 1);; pos = path.find(u'\\', pos + 1)) {
    std::u16string level = path.substr(0, pos);
    if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (pos == std::u16string::npos) return true;
  }
}

// Splits a target text into the program and its arguments; a quoted program loses its quotes.
void SplitTarget(std::u16string_view text, std::u16string& program, std::u16string& arguments) {
  size_t end;
  if (!text.empty() && text[0] == u'"') {
    end = text.find(u'"', 1);
    program = text.substr(1, end == text.npos ? text.npos : end - 1);
    end = end == text.npos ? text.size() : end + 1;
  } else {
    end = std::min(text.find(u' '), text.size());
    program = text.substr(0, end);
  }
  size_t args = text.find_first_not_of(u' ', end);
  arguments = args == text.npos ? u"" : std::u16string(text.substr(args));
}

std::string ReadSmallFile(LPCWSTR path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char buffer[1024];
  DWORD got = 0;
  ReadFile(file, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(file);
  return std::string(buffer, got);
}

// The text after '#' of a shortcut file: UTF-8 after a byte-order mark, else 8-bit text.
// False when the file is none (ERROR_BAD_FORMAT).
bool ShortcutText(LPCWSTR path, std::u16string& text) {
  std::string bytes = ReadSmallFile(path);
  bool utf8 = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
  if (utf8) bytes.erase(0, 3);
  size_t hash = bytes.find('#');
  // Digits, then '#': the count itself is not trusted, as the shell does not trust it.
  if (hash == std::string::npos || hash == 0 ||
      !std::all_of(bytes.begin(), bytes.begin() + hash, [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  std::string rest = bytes.substr(hash + 1);
  if (utf8) {
    text = stowkit::Utf8ToUtf16(rest);
  } else {
    text.clear();
    for (char c : rest) text += char16_t(uint8_t(c));  // each byte one character
  }
  return true;
}

bool EndsWithLnk(std::u16string_view path) {
  return path.size() >= 4 && stowkit::EqualsNoCase(path.substr(path.size() - 4), u".lnk");
}

// ASCII text as it is; anything else as UTF-8 behind a byte-order mark, which readers of
// both kinds understand.
std::string EncodeShortcut(const std::u16string& text) {
  bool ascii = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
  return ascii ? stowkit::Utf16ToUtf8(text) : "\xEF\xBB\xBF" + stowkit::Utf16ToUtf8(text);
}

}  // namespace
}  // namespace coredll

using namespace coredll;

BOOL SHGetSpecialFolderPath(HWND, LPWSTR path, int folder, BOOL create) {
  const auto& folders = Profile().special_folders;
  auto it = folders.find(folder);
  if (!path || it == folders.end()) return Fail(ERROR_INVALID_PARAMETER);
  if (create && !MakeFolders(it->second)) return FALSE;
  return CopyText(it->second, path, MAX_PATH) ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}

DWORD SHCreateShortcut(LPWSTR shortcut, LPWSTR target) {
  if (!shortcut || !*shortcut || !target || !*target) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string path(shortcut), text(target), program, arguments;
  if (path.size() + 1 >= MAX_PATH || text.size() + 1 >= kMaxShortcutTarget + 1) {
    return Fail(ERROR_FILENAME_EXCED_RANGE);
  }
  SplitTarget(text, program, arguments);
  if (program.empty()) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string followed;
  if (EndsWithLnk(program) && ShortcutText(program.c_str(), followed)) {
    SplitTarget(followed, program, arguments);
  }
  std::u16string body = u"\"" + program + u"\"" + (arguments.empty() ? u"" : u" " + arguments);
  std::string bytes = EncodeShortcut(stowkit::Utf8ToUtf16(std::to_string(body.size()) + "#") + body);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), nullptr, nullptr) && SetEndOfFile(file);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(path.c_str());
    return Fail(error);
  }
  return TRUE;
}

BOOL SHGetShortcutTarget(LPCWSTR shortcut, LPWSTR target, int size) {
  std::u16string text;
  if (!shortcut) return FALSE;
  if (!ShortcutText(shortcut, text)) return Fail(ERROR_BAD_FORMAT);
  return CopyText(text, target, size_t(std::max(size, 0))) ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  const DeviceProfile& p = Profile();
  info->dwMajorVersion = p.os_major;
  info->dwMinorVersion = p.os_minor;
  info->dwBuildNumber = p.os_build;
  info->dwPlatformId = VER_PLATFORM_WIN32_CE;
  info->szCSDVersion[0] = 0;
  return TRUE;
}

BOOL SystemParametersInfoW(UINT action, UINT size, LPVOID value, UINT) {
  std::u16string text;
  if (action == SPI_GETPLATFORMTYPE) {
    text = stowkit::Utf8ToUtf16(Profile().platform_type);
  } else if (action == SPI_GETOEMINFO) {
    text = u"Stowkit simulated device";
  } else {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return CopyText(text, static_cast<LPWSTR>(value), size / sizeof(WCHAR)) ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}

DWORD SetSystemPowerState(LPCWSTR state, DWORD flags, DWORD) {
  bool reset = state ? stowkit::EqualsNoCase(state, u"reboot") : (flags & POWER_STATE_RESET) != 0;
  if (!reset) return ERROR_NOT_SUPPORTED;  // only a restart means something here
  return RestartDevice();
}

HRESULT CoInitializeEx(LPVOID, DWORD) { return com_depth++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize(void) {
  if (com_depth > 0) --com_depth;
}
