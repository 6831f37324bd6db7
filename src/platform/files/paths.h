// The one mapping from a device path to the host: "\A\B" is "<device>/fs/A/B", found
// case-insensitively and kept in the case it was created with. Nothing ever leaves fs/: a
// ".." or "." component and the characters the handheld forbids in names are refused with
// ERROR_INVALID_NAME, and links (which the handheld has none of) are never followed: a path
// through one, or to anything else that is not IsDeviceItem, is refused with
// ERROR_ACCESS_DENIED. In host mode a path is a host path taken as written.
#pragma once

#include <sys/stat.h>

#include <string>

#include "coredll/windows.h"
#include "platform/device/host_files.h"

namespace coredll {

struct ResolvedPath {
  std::string host;        // the host path; every component but the last exists
  std::u16string device;   // the path as the platform names it: "\Temp\A.TXT"
  std::u16string name;     // the last component as found (or as given when new)
  bool exists = false;
  struct stat st = {};     // lstat of `host` when it exists
};

enum class PathUse {
  kItem,     // a file or folder, possibly new
  kPattern,  // FindFirstFileW: the last component may hold '*' and '?'
};

// What a resolution came to: ERROR_SUCCESS, or why the path does not resolve. It tests
// true when the path resolved; it sets no last error, which is the exported call's to set.
struct Resolution {
  DWORD error = ERROR_SUCCESS;
  explicit operator bool() const { return error == ERROR_SUCCESS; }
};

// Resolves `path`; the error says when it is malformed or reaches outside (see above), too
// long (ERROR_FILENAME_EXCED_RANGE), or a folder on the way is missing
// (ERROR_PATH_NOT_FOUND). The root itself resolves to fs/ with an empty name.
[[nodiscard]] Resolution ResolvePath(LPCWSTR path, ResolvedPath& out,
                                     PathUse use = PathUse::kItem);

// Opens the file `path` names when every component of it is spelled as the host names it,
// without a lookup of its own: the kernel walks the path and refuses any link on the way
// (openat2 with RESOLVE_NO_SYMLINKS), and since the exact spelling is what ResolvePath
// finds first, the file opened is the one it would name, whatever the kept listings and
// the change queue hold. `flags` is O_RDONLY or O_RDWR; the file is never followed, made
// or truncated, and only a device item is kept open. `out` then holds what ResolvePath
// gives, its `st` from the descriptor. An invalid descriptor decides nothing (another
// spelling, missing, a link, host mode, a host that cannot): the caller resolves.
UniqueFd OpenAsSpelled(LPCWSTR path, int flags, ResolvedPath& out);

// True for what the handheld can hold: a folder, or a file that has no other name. Links,
// files that a hard link shares with another place, and pipes, sockets and device nodes are
// none of its own and are never opened, followed or shown.
bool IsDeviceItem(const struct stat& st);

// Joins a resolved folder and a child's host name.
std::string JoinHost(const std::string& folder, const std::string& name);

}  // namespace coredll
