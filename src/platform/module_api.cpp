// The running program's own path. Libraries loaded with LoadLibraryW are not yet part of
// the platform, so no other module handle exists and any other handle is invalid.
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/device_state.h"
#include "platform/errors.h"
#include "text/utf.h"

namespace coredll {
namespace {

// The device path of a host path inside fs/, or the host path itself.
std::u16string PlatformPathOf(const std::string& host) {
  std::string root = HostMode() ? std::string() : FileSystemRoot();
  if (root.empty() || host.compare(0, root.size() + 1, root + "/") != 0) {
    return stowkit::Utf8ToUtf16(host);
  }
  std::string device = host.substr(root.size());
  std::replace(device.begin(), device.end(), '/', '\\');
  return stowkit::Utf8ToUtf16(device);
}

}  // namespace
}  // namespace coredll

using namespace coredll;

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  if (module) return Fail(ERROR_INVALID_HANDLE);
  if (!buffer || size == 0) return Fail(ERROR_INVALID_PARAMETER);
  char host[4096];
  ssize_t n = readlink("/proc/self/exe", host, sizeof host - 1);
  if (n < 0) return FailErrno();
  std::u16string path = PlatformPathOf(std::string(host, size_t(n)));
  DWORD copied = DWORD(std::min<size_t>(path.size(), size - 1));
  std::copy_n(path.begin(), copied, buffer);
  buffer[copied] = 0;
  SetLastError(copied < path.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return copied;
}
