// Small helpers on host paths for the platform's own files (profile, boot count, tables).
#pragma once

#include <string>
#include <string_view>

namespace coredll {

// mkdir -p; true when the folder exists afterwards. The components after the first
// `followed` characters (those below a device folder) must be folders of their own, not
// links (ELOOP), so that nothing made through them lands outside. errno tells why not.
bool MakeHostFolders(const std::string& path, size_t followed);

// Replaces `path` with `content` atomically (temporary file, rename), so a reader sees the
// old text or the new, never a part; `durable` adds an fsync before the rename, for files
// that must survive a crash (not for what lives in run/). A link at `path` is replaced, never
// written through. errno tells why not.
bool WriteHostFile(const std::string& path, std::string_view content, bool durable = true);

// Closes a descriptor when it goes out of scope.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace coredll
