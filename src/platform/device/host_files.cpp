#include "platform/device/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace coredll {

bool MakeHostFolders(const std::string& path, size_t followed) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    struct stat st;
    if (prefix.size() > followed && lstat(prefix.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      errno = ELOOP;
      return false;
    }
    if (slash == std::string::npos) break;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

bool WriteHostFile(const std::string& path, std::string_view content, bool durable) {
  std::string temp = path + "." + std::to_string(getpid()) + ".new";
  // Made anew (what a killed process of the same pid left goes first): O_EXCL never follows
  // a link planted under the name.
  unlink(temp.c_str());
  UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd.valid()) return false;
  for (size_t done = 0; done < content.size();) {
    ssize_t n = write(fd.get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      unlink(temp.c_str());
      return false;
    }
    done += size_t(n);
  }
  if ((durable && fsync(fd.get()) != 0) || rename(temp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    unlink(temp.c_str());
    errno = saved;
    return false;
  }
  return true;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace coredll
