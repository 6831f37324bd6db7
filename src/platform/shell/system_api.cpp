// Text, locale, the system message texts, local memory and the temp folder.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/files/paths.h"
#include "platform/shell/system_texts.h"
#include "text/fold.h"

using namespace coredll;

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  return stowkit::CompareNoCase(a, b);
}

LPWSTR CharUpperW(LPWSTR text) {
  uintptr_t value = reinterpret_cast<uintptr_t>(text);
  if (value < 0x10000) {
    return reinterpret_cast<LPWSTR>(uintptr_t(stowkit::FoldUpper(char16_t(value))));
  }
  for (WCHAR* c = text; *c; ++c) *c = stowkit::FoldUpper(*c);
  return text;
}

LCID GetUserDefaultLCID(void) { return Profile().locale; }

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                         : std::malloc(bytes ? bytes : 1);
  if (!memory) Fail(ERROR_NOT_ENOUGH_MEMORY);
  return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD id, DWORD, LPWSTR buffer, DWORD size,
                     va_list*) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string_view stored = Profile().has_message_table ? SystemText(id) : std::u16string_view();
  if (stored.empty()) return Fail(ERROR_MR_MID_NOT_FOUND);
  if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && stored.find(u"%1") != stored.npos) {
    return Fail(ERROR_INVALID_PARAMETER);  // an insert with no arguments to fill it
  }
  bool one_line = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK;
  std::u16string text(stored);
  text += one_line ? u" " : u"\r\n";
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto* memory = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
    if (!memory) return 0;
    std::memcpy(memory, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    *reinterpret_cast<WCHAR**>(buffer) = memory;
  } else {
    if (text.size() + 1 > size) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  }
  return DWORD(text.size());
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
  const std::u16string& temp = Profile().temp_path;
  if (GetFileAttributesW(temp.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  if (!buffer || size < temp.size() + 1) return DWORD(temp.size() + 1);
  std::memcpy(buffer, temp.c_str(), (temp.size() + 1) * sizeof(WCHAR));
  return DWORD(temp.size());
}
