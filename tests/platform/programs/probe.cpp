// A device program for tests. Its command line says what to do:
//   exit N            end with exit code N (decimal or 0x hex, 32 bits)
//   cmdline FILE      write the whole command line, as UTF-8, into the device file FILE
//   hold LIBRARY      load LIBRARY, create \Temp\held.flag, then wait to be ended
//   wait              create \Temp\waiting.flag, then wait to be ended
//   spawn PROGRAM ... start PROGRAM with the rest as its command line, end with its code
// A quoted program path in front of the verb is skipped, since the installer's program
// starter puts one there.
#include <cstdlib>
#include <string>

#include "coredll/windows.h"
#include "coredll/winmain.h"
#include "text/utf.h"

namespace {

std::u16string Word(std::u16string_view& rest) {
  size_t start = rest.find_first_not_of(u' ');
  if (start == rest.npos) return {};
  size_t end = rest.find(u' ', start);
  std::u16string word(rest.substr(start, end - start));
  rest = end == rest.npos ? std::u16string_view() : rest.substr(end + 1);
  return word;
}

void WriteDeviceFile(const std::u16string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  WriteFile(file, bytes.data(), DWORD(bytes.size()), nullptr, nullptr);
  CloseHandle(file);
}

std::u16string_view SkipProgramPath(std::u16string_view line) {
  if (line.empty() || line.front() != u'"') return line;
  size_t end = line.find(u'"', 1);
  return end == line.npos ? std::u16string_view() : line.substr(end + 1);
}

}  // namespace

int WinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int) {
  std::u16string_view rest = SkipProgramPath(command_line);
  std::u16string verb = Word(rest);
  if (verb == u"exit") return int(std::strtoul(stowkit::Utf16ToUtf8(Word(rest)).c_str(), nullptr, 0));
  if (verb == u"cmdline") {
    WriteDeviceFile(Word(rest), stowkit::Utf16ToUtf8(command_line));
    return 0;
  }
  if (verb == u"hold") {
    if (!LoadLibraryW(Word(rest).c_str())) return int(GetLastError());
    WriteDeviceFile(u"\\Temp\\held.flag", "held");
    Sleep(INFINITE);
  }
  if (verb == u"wait") {
    WriteDeviceFile(u"\\Temp\\waiting.flag", "waiting");
    Sleep(INFINITE);
  }
  if (verb == u"spawn") {
    std::u16string program = Word(rest);
    std::u16string child_line(rest);
    PROCESS_INFORMATION info;
    if (!CreateProcessW(program.c_str(), child_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, nullptr, &info)) {
      return int(GetLastError());
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return int(code);
  }
  return 2;
}
