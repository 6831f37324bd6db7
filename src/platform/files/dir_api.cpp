// Calls on files and folders by name: delete, move, copy, folders, attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/device/device_state.h"
#include "platform/device/errors.h"
#include "platform/device/faults.h"
#include "platform/device/host_files.h"
#include "platform/files/file_meta.h"
#include "platform/files/paths.h"
#include "platform/files/share_locks.h"

namespace coredll {
namespace {

// ERROR_SUCCESS when `name` resolves to something that exists.
DWORD ResolveExisting(LPCWSTR name, ResolvedPath& path) {
  if (Resolution resolved = ResolvePath(name, path); !resolved) return resolved.error;
  return path.exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

bool IsReadOnly(const ResolvedPath& path) {
  return ReadAttributes(path.host, path.st) & FILE_ATTRIBUTE_READONLY;
}

// Runs `change` on a file nobody has open (`module_ok` lets a running module through, as a
// rename of one is allowed), under the file's share gate so no open slips in meanwhile;
// closing the descriptor at the end opens the gate. `change` returns false with errno set;
// the result is ERROR_SUCCESS or why nothing was changed.
template <typename Change>
DWORD WithUnusedFile(const ResolvedPath& path, bool module_ok, Change change) {
  UniqueFd fd(open(path.host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (HostMode() ? 0 : O_NOFOLLOW)));
  if (!fd.valid()) return ErrorFromErrno(errno);
  EnterGateUntilClose(fd.get());
  DWORD error = CheckUnused(fd.get());
  if (error == ERROR_ACCESS_DENIED && module_ok) error = ERROR_SUCCESS;
  if (error) return error;
  return change() ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

// The usual delete, of a file spelled as it is stored that nobody has open, in one pass:
// opened as spelled, its attributes read from the descriptor, every share marker locked at
// once, unlinked. `decided` is false when it did not apply (the name needs a lookup, the
// file is in use or not one to open for writing): nothing was changed, and the usual way
// decides. Otherwise the result is why the delete failed, or ERROR_SUCCESS.
DWORD DeleteAsSpelled(LPCWSTR name, bool& decided) {
  decided = false;
  ResolvedPath path;
  UniqueFd fd = OpenAsSpelled(name, O_RDWR, path);
  if (!fd.valid()) return ERROR_SUCCESS;
  decided = true;
  if (ReadAttributes(fd.get(), path.st) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
  if (Fault fault = CheckFault(FaultOp::kDelete, path.device)) return fault.error;
  if (!LockUnused(fd.get())) {
    return WithUnusedFile(path, false, [&] { return unlink(path.host.c_str()) == 0; });
  }
  return unlink(path.host.c_str()) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

}  // namespace
}  // namespace coredll

using namespace coredll;

BOOL DeleteFileW(LPCWSTR name) {
  bool decided = false;
  if (DWORD error = DeleteAsSpelled(name, decided); decided) {
    return error ? Fail(error) : TRUE;
  }
  ResolvedPath path;
  if (DWORD error = ResolveExisting(name, path)) return Fail(error);
  if (S_ISDIR(path.st.st_mode) || IsReadOnly(path)) return Fail(ERROR_ACCESS_DENIED);
  if (Fault fault = CheckFault(FaultOp::kDelete, path.device)) return Fail(fault.error);
  if (DWORD error = WithUnusedFile(path, false, [&] { return unlink(path.host.c_str()) == 0; })) {
    return Fail(error);
  }
  return TRUE;
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
  ResolvedPath source, target;
  if (DWORD error = ResolveExisting(from, source)) return Fail(error);
  if (Resolution resolved = ResolvePath(to, target); !resolved) return Fail(resolved.error);
  if (source.name.empty() || target.name.empty()) return Fail(ERROR_ACCESS_DENIED);
  if (target.exists) return Fail(ERROR_ALREADY_EXISTS);
  auto move = [&] { return rename(source.host.c_str(), target.host.c_str()) == 0; };
  if (S_ISDIR(source.st.st_mode)) return move() ? TRUE : FailErrno();
  if (DWORD error = WithUnusedFile(source, true, move)) return Fail(error);
  return TRUE;
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
  HANDLE in = CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return FALSE;
  DWORD attributes = GetFileAttributesW(from);
  HANDLE out = CreateFileW(to, GENERIC_WRITE, 0, nullptr, fail_if_exists ? CREATE_NEW : CREATE_ALWAYS,
                           attributes & kSettableAttributes, nullptr);
  BOOL ok = out != INVALID_HANDLE_VALUE;
  char buffer[16384];
  DWORD got = 0;
  while (ok && (ok = ReadFile(in, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    ok = WriteFile(out, buffer, got, nullptr, nullptr);
  }
  FILETIME written;
  if (ok) ok = GetFileTime(in, nullptr, nullptr, &written) && SetFileTime(out, nullptr, nullptr, &written);
  DWORD error = GetLastError();
  CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!ok && out != INVALID_HANDLE_VALUE) DeleteFileW(to);
  return ok ? TRUE : Fail(error);
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  ResolvedPath path;
  if (Resolution resolved = ResolvePath(name, path); !resolved) return Fail(resolved.error);
  if (path.exists) return Fail(ERROR_ALREADY_EXISTS);
  if (Fault fault = CheckFault(FaultOp::kMkdir, path.device)) return Fail(fault.error);
  if (mkdir(path.host.c_str(), 0755) != 0) return FailErrno();
  if (!HostMode()) DescribeNewFolder(path.host);
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
  ResolvedPath path;
  if (DWORD error = ResolveExisting(name, path)) return Fail(error);
  if (!S_ISDIR(path.st.st_mode)) return Fail(ERROR_DIRECTORY);
  if (path.name.empty() || IsReadOnly(path)) return Fail(ERROR_ACCESS_DENIED);
  if (Fault fault = CheckFault(FaultOp::kDelete, path.device)) return Fail(fault.error);
  return rmdir(path.host.c_str()) == 0 ? TRUE : FailErrno();
}

DWORD GetFileAttributesW(LPCWSTR name) {
  ResolvedPath path;
  if (DWORD error = ResolveExisting(name, path)) return Fail(error), INVALID_FILE_ATTRIBUTES;
  return ReadAttributes(path.host, path.st);
}

BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes) {
  ResolvedPath path;
  if (DWORD error = ResolveExisting(name, path)) return Fail(error);
  return WriteAttributes(path.host, attributes) ? TRUE : FailErrno();
}
