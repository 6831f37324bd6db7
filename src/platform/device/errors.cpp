#include "platform/device/errors.h"

#include <cerrno>

namespace coredll {
namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBUSY: return ERROR_BUSY;
    case EAGAIN:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EPIPE: return ERROR_BROKEN_PIPE;
    default: return ERROR_GEN_FAILURE;
  }
}

BOOL Fail(DWORD code) {
  last_error = code;
  return FALSE;
}

BOOL ResultOf(DWORD error) { return error ? Fail(error) : TRUE; }

BOOL FailErrno() { return Fail(ErrorFromErrno(errno)); }

}  // namespace coredll

using namespace coredll;

DWORD GetLastError(void) { return last_error; }

void SetLastError(DWORD error) { last_error = error; }
