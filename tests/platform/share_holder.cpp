// Test helper: opens a device file with the given access and share mode, prints "open" or
// "error N", then holds the file until it is killed.
//   share-holder DEVICE PATH ACCESS SHARE     (ACCESS and SHARE each one of: - r w rw)
#include <unistd.h>

#include <cstdio>
#include <string>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "text/utf.h"

static DWORD Bits(const std::string& text, DWORD read, DWORD write) {
  return (text.find('r') != std::string::npos ? read : 0) |
         (text.find('w') != std::string::npos ? write : 0);
}

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  coredll::SelectDevice(argv[1]);
  std::u16string path = stowkit::Utf8ToUtf16(argv[2]);
  HANDLE file = CreateFileW(path.c_str(), Bits(argv[3], GENERIC_READ, GENERIC_WRITE),
                            Bits(argv[4], FILE_SHARE_READ, FILE_SHARE_WRITE), nullptr,
                            OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("error %u\n", GetLastError());
  } else {
    std::printf("open\n");
  }
  std::fflush(stdout);
  for (;;) pause();
}
