#include "log_command.h"

#include <iostream>

#include "coredll/windows.h"
#include "device_commands.h"
#include "engine/default_log_path.h"
#include "run_log.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

bool Later(const FILETIME& a, const FILETIME& b) {
  return a.dwHighDateTime != b.dwHighDateTime ? a.dwHighDateTime > b.dwHighDateTime
                                              : a.dwLowDateTime > b.dwLowDateTime;
}

// The installer writes its default logs into "\" unless the package's LogDst moves them; a
// name the tool cannot know without the package, so only "\" is looked through.
bool NewestLog(std::u16string& path) {
  FILETIME newest = {};
  for (const char16_t* pattern : {u"\\Stowkit_log_*.txt", u"\\Unstowkit_log_*.txt"}) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (path.empty() || Later(data.ftLastWriteTime, newest)) {
        path = u"\\" + std::u16string(data.cFileName);
        newest = data.ftLastWriteTime;
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  return !path.empty();
}

}  // namespace

int ShowLog(const std::string& which, bool removal) {
  std::u16string path;
  if (which.empty()) {
    if (!NewestLog(path)) return Error("log: the device has no installer log in '\\'");
  } else if (which[0] == '\\') {
    path = Utf8ToUtf16(which);
  } else {
    std::u16string name = Utf8ToUtf16(which);
    if (!IsUsableApplicationName(name)) return Error("log: '" + which + "' cannot name an application");
    path = (removal ? u"\\Unstowkit_log_" : u"\\Stowkit_log_") + name + u".txt";
  }
  std::string shown = Utf16ToUtf8(path);
  std::u16string text;
  if (!ReadDeviceLog(path, text)) {
    return Error("log: cannot read '" + shown + "': " + SystemErrorText(GetLastError()));
  }
  if (!text.empty() && text[0] == u'\xFEFF') text.erase(0, 1);
  std::u16string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lines += text[i];
  }
  std::cout << Utf16ToUtf8(lines) << std::flush;
  return std::cout ? 0 : Error("log: cannot write to standard output");
}

}  // namespace stowkit::device_tool
