// A whole device copied for a throwaway run. The file system is copied with what the
// platform keeps beside each file (attribute bits and creation time as extended attributes,
// access and write times), the registry through SQLite's backup, which reads one consistent
// state even while device programs write to it.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "coredll/device.h"
#include "platform/device/host_files.h"

namespace coredll {
namespace {

namespace fs = std::filesystem;

constexpr char kOurAttributes[] = "user.";
constexpr int kBusyTimeoutMs = 5000;

// Collects the first failure as "cannot copy PATH: reason".
struct CopyJob {
  std::string error;

  bool Fail(const std::string& path, const std::string& reason) {
    if (error.empty()) error = "cannot copy " + path + ": " + reason;
    return false;
  }
  bool FailErrno(const std::string& path) { return Fail(path, std::strerror(errno)); }
};

bool CopyExtendedAttributes(CopyJob& job, const std::string& from, const std::string& to) {
  ssize_t size = llistxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP || job.FailErrno(from);
  std::string names(size_t(size), '\0');
  size = llistxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return job.FailErrno(from);
  for (size_t at = 0; at < size_t(size); at += std::strlen(names.c_str() + at) + 1) {
    const char* name = names.c_str() + at;
    if (std::strncmp(name, kOurAttributes, sizeof kOurAttributes - 1) != 0) continue;
    ssize_t length = lgetxattr(from.c_str(), name, nullptr, 0);
    if (length < 0 && errno == ENODATA) continue;  // removed meanwhile
    std::string value(size_t(length < 0 ? 0 : length), '\0');
    if (length < 0 || (length = lgetxattr(from.c_str(), name, value.data(), value.size())) < 0 ||
        lsetxattr(to.c_str(), name, value.data(), size_t(length), 0) != 0) {
      return job.FailErrno(from);
    }
  }
  return true;
}

bool CopyMetadata(CopyJob& job, const std::string& from, const struct stat& st,
                  const std::string& to) {
  if (!CopyExtendedAttributes(job, from, to)) return false;
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  return utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || job.FailErrno(to);
}

bool CopyTree(CopyJob& job, const std::string& from, const std::string& to);

bool CopyFolder(CopyJob& job, const std::string& from, const struct stat& st,
                const std::string& to) {
  if (mkdir(to.c_str(), st.st_mode & 07777) != 0) return job.FailErrno(to);
  std::error_code failure;
  for (const fs::directory_entry& item : fs::directory_iterator(from, failure)) {
    std::string name = item.path().filename().string();
    if (!CopyTree(job, from + "/" + name, to + "/" + name)) return false;
  }
  if (failure) return job.Fail(from, failure.message());
  // Last, so that the copied contents do not move the folder's times again.
  return CopyMetadata(job, from, st, to);
}

bool CopyTree(CopyJob& job, const std::string& from, const std::string& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return errno == ENOENT || job.FailErrno(from);
  std::error_code failure;
  if (S_ISDIR(st.st_mode)) return CopyFolder(job, from, st, to);
  if (S_ISLNK(st.st_mode)) {
    fs::copy_symlink(from, to, failure);
    return !failure || job.Fail(from, failure.message());
  }
  if (!S_ISREG(st.st_mode)) return true;  // the platform makes no other kind
  fs::copy_file(from, to, failure);
  if (failure) return job.Fail(from, failure.message());
  return CopyMetadata(job, from, st, to);
}

bool CopyRegistry(CopyJob& job, const std::string& from, const std::string& to) {
  if (access(from.c_str(), F_OK) != 0) return true;  // no registry written yet
  sqlite3* source = nullptr;
  sqlite3* target = nullptr;
  std::string reason;
  if (sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    reason = sqlite3_errmsg(source);
  } else if (sqlite3_open_v2(to.c_str(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr) != SQLITE_OK) {
    reason = sqlite3_errmsg(target);
  } else {
    sqlite3_busy_timeout(source, kBusyTimeoutMs);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    bool done = backup != nullptr && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    if (sqlite3_backup_finish(backup) != SQLITE_OK || !done) reason = sqlite3_errmsg(target);
  }
  sqlite3_close(source);
  sqlite3_close(target);
  return reason.empty() || job.Fail(from, reason);
}

bool CopyParts(CopyJob& job, const std::string& from, const std::string& to) {
  if (!MakeHostFolders(to + "/run", to.size())) return job.FailErrno(to + "/run");
  return CopyTree(job, from + "/fs", to + "/fs") &&
         CopyTree(job, from + "/device.toml", to + "/device.toml") &&
         CopyTree(job, from + "/boots", to + "/boots") &&
         CopyRegistry(job, from + "/registry.db", to + "/registry.db");
}

}  // namespace

bool CopyDevice(const std::string& from, const std::string& to, std::string* error) {
  CopyJob job;
  if (!IsDevice(from)) {
    job.Fail(from, "it is not a device folder");
  } else if (mkdir(to.c_str(), 0755) != 0) {
    job.FailErrno(to);
  } else if (!CopyParts(job, from, to)) {
    std::error_code ignored;
    fs::remove_all(to, ignored);
  }
  if (!job.error.empty()) *error = job.error;
  return job.error.empty();
}

}  // namespace coredll
