// An open file: the host descriptor with its share locks, the access it was opened with,
// and its own file pointer (reads and writes are positional, so the pointer is the
// handle's alone, as on the handheld).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/device/host_files.h"
#include "platform/processes/handles.h"

namespace coredll {

class FileObject : public KernelObject {
 public:
  FileObject(UniqueFd fd, DWORD access, std::u16string device_path, std::string host_path)
      : fd_(std::move(fd)),
        access_(access),
        device_path_(std::move(device_path)),
        host_path_(std::move(host_path)) {}

  int fd() const { return fd_.get(); }
  DWORD GrantedAccess() const override { return access_; }
  const std::u16string& device_path() const { return device_path_; }
  const std::string& host_path() const { return host_path_; }

  std::mutex& mutex() { return mutex_; }
  uint64_t position = 0;  // guarded by mutex()

  // Set at the open when nothing can change the file's bytes while the handle is open: it
  // cannot write, and its share mode keeps every writer out (the share markers hold across
  // the device's processes). Its small reads are then served from bytes read ahead.
  bool steady = false;
  std::string ahead;      // guarded by mutex(): the file's bytes from `ahead_at` on
  uint64_t ahead_at = 0;  // guarded by mutex()
  bool ahead_ends = false;  // guarded by mutex(): `ahead` reaches the end of the file

 private:
  UniqueFd fd_;
  DWORD access_;
  std::u16string device_path_;
  std::string host_path_;
  std::mutex mutex_;
};

}  // namespace coredll
