// Test helper: writes COUNT text values "PREFIX<i>" = "value <i>" under
// HKEY_LOCAL_MACHINE\Writers, one call each. With EVERY > 0 it flushes the registry after
// every EVERY values and prints "flushed N" (the first N values are durable); at the end it
// prints "done", or "error E at I" when a call fails. With LIMIT, no file it writes may grow
// past LIMIT bytes, as on a disk that is full.
//   registry-writer DEVICE PREFIX COUNT EVERY [LIMIT]
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "text/utf.h"

static int Report(LONG error, unsigned long index) {
  std::printf("error %ld at %lu\n", long(error), index);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) return 2;
  if (argc == 6) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    rlim_t limit = std::strtoull(argv[5], nullptr, 10);
    rlimit bound{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &bound) != 0) return 2;
  }
  coredll::SelectDevice(argv[1]);
  std::string prefix = argv[2];
  unsigned long count = std::strtoul(argv[3], nullptr, 10);
  unsigned long every = std::strtoul(argv[4], nullptr, 10);
  HKEY key;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Writers", 0, nullptr, 0, 0, nullptr, &key,
                               nullptr);
  if (error != ERROR_SUCCESS) return Report(error, 0);
  for (unsigned long i = 0; i < count; ++i) {
    std::u16string name = stowkit::Utf8ToUtf16(prefix + std::to_string(i));
    std::u16string text = stowkit::Utf8ToUtf16("value " + std::to_string(i));
    error = RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()),
                           DWORD((text.size() + 1) * sizeof(char16_t)));
    if (error != ERROR_SUCCESS) return Report(error, i);
    if (every > 0 && (i + 1) % every == 0) {
      if ((error = RegFlushKey(key)) != ERROR_SUCCESS) return Report(error, i);
      std::printf("flushed %lu\n", i + 1);
      std::fflush(stdout);
    }
  }
  RegCloseKey(key);
  std::printf("done\n");
  return 0;
}
