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

 private:
  UniqueFd fd_;
  DWORD access_;
  std::u16string device_path_;
  std::string host_path_;
  std::mutex mutex_;
};

}  // namespace coredll
