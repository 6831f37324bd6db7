// A device program that stands in for the installer where a test needs to see how the setup
// extension starts it. Each start appends its whole command line and a line feed, as UTF-8,
// to \Temp\installer-calls.txt, then ends with the exit code written in decimal in
// \Temp\installer-exit.txt (0 when there is none).
#include <string>

#include "coredll/windows.h"
#include "coredll/winmain.h"
#include "text/utf.h"
#include "text/version.h"

namespace {

std::string ReadDeviceFile(const char16_t* path) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD done = 0;
  ReadFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr);
  CloseHandle(file);
  return bytes.substr(0, done);
}

void AppendDeviceFile(const char16_t* path, const std::string& bytes) {
  // Two starts may overlap (a restart hand-off is not waited for): wait for the file.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 500 && file == INVALID_HANDLE_VALUE; ++i) {
    file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) Sleep(10);
  }
  SetFilePointer(file, 0, nullptr, FILE_END);
  WriteFile(file, bytes.data(), DWORD(bytes.size()), nullptr, nullptr);
  CloseHandle(file);
}

}  // namespace

int WinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int) {
  AppendDeviceFile(u"\\Temp\\installer-calls.txt", stowkit::Utf16ToUtf8(command_line) + "\n");
  std::string code = ReadDeviceFile(u"\\Temp\\installer-exit.txt");
  return int(stowkit::LeadingNumber(stowkit::Utf8ToUtf16(code)));
}
