#include "platform/files/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/device/device_state.h"
#include "platform/files/folder_listing.h"
#include "text/fold.h"
#include "text/utf.h"
#include "text/wildcard.h"

namespace coredll {
namespace {

using stowkit::EqualsNoCase;
using stowkit::Utf16ToUtf8;
using stowkit::Utf8ToUtf16;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsForbidden(char16_t c, bool wildcards_allowed) {
  if (c < 32) return true;
  switch (c) {
    case u'*':
    case u'?': return !wildcards_allowed;
    case u'<':
    case u'>':
    case u':':
    case u'"':
    case u'|': return true;
    default: return false;
  }
}

// Splits at '\' and '/', skipping empty components; false when a component is not a name.
bool SplitDevicePath(std::u16string_view path, PathUse use, std::vector<std::u16string>& parts) {
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > pos) parts.emplace_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::u16string& part = parts[i];
    if (part == u"." || part == u"..") return false;
    bool wildcards = use == PathUse::kPattern && i + 1 == parts.size();
    for (char16_t c : part) {
      if (IsForbidden(c, wildcards)) return false;
    }
  }
  return true;
}

// The host name of `name` inside `folder` (whose lstat is `folder_st`): the exact spelling
// if present, else the first entry equal to it case-insensitively, else "" (absent).
// `applied`: the change queue was applied for this resolution already (FolderStamp).
// `present` tells whether `st` holds the lstat of what was found; `exact` whether it was
// the exact spelling. A name is tried as spelled first unless the folder's kept listing
// says it is new; a name not there as spelled is then looked up in that listing, made now
// if there is none, so that a new name costs no listing.
std::string FindEntry(const std::string& folder, const struct stat& folder_st,
                      const std::u16string& name, bool applied, struct stat& st, bool& present,
                      bool& exact) {
  std::string spelled = Utf16ToUtf8(name);
  auto try_spelled = [&] {
    exact = present = lstat(JoinHost(folder, spelled).c_str(), &st) == 0;
    return exact;
  };
  bool tried = !PreferListing(folder_st, name);
  if (tried && try_spelled()) return spelled;
  std::string found;
  switch (FindInFolder(folder, folder_st, name, found, applied)) {
    case Listed::kAbsent:
      present = exact = false;
      return std::string();
    case Listed::kFound:
      exact = found == spelled;
      present = lstat(JoinHost(folder, found).c_str(), &st) == 0;
      return found;
    case Listed::kUnknown:
      break;
  }
  if (!tried && try_spelled()) return spelled;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::string();
  while (dirent* entry = readdir(dir.get())) {
    if (!EqualsNoCase(Utf8ToUtf16(entry->d_name), name)) continue;
    present = lstat(JoinHost(folder, entry->d_name).c_str(), &st) == 0;
    return entry->d_name;
  }
  return std::string();
}

// Folders resolved lately, so that the files of one folder do not walk their whole path
// again: each by its device's file system and its path as written, and only when every
// level matched its host name exactly, as a fresh walk would match it again. A folder asked
// for as a parent is taken as it is while the marks of the folders on its way hold (every
// one was watched from before the walk looked at it, so no delete or rename on the way went
// unseen), which costs no call beyond applying the change queue that the name's lookup
// needs anyway; a folder deleted elsewhere spoils only the ways through it. Otherwise, and
// for a folder asked for itself (whose own lstat the caller wants), one lstat checks the
// entry: the host path must still name a folder, the same one (device and inode), or the
// entry is dropped and the path walked afresh. Per thread, so unlocked.
struct KnownFolder {
  std::string root;
  std::string host;
  std::u16string device;
  struct stat st = {};  // as walked
  uint64_t stamp = 0;   // the FolderStamp it was walked under; 0: its way was not all watched
  std::vector<WatchMark> way;  // the marks of the folders it was looked up through
};

// As many as kept listings: a package's folders, taken in any order, all stay known.
constexpr size_t kKnownFolders = 4096;

thread_local std::unordered_map<std::u16string, KnownFolder> known_folders;

// The first `count` components of `parts` as written, joined by '\'; all but the last are
// the folder part.
std::u16string FolderKey(const std::vector<std::u16string>& parts, size_t count) {
  std::u16string key;
  for (size_t i = 0; i < count; ++i) key.append(i ? u"\\" : u"").append(parts[i]);
  return key;
}

enum class Known {
  kNo,       // not known, or no longer
  kHeld,     // known, and its way holds: watched and unchanged
  kChecked,  // known, and checked by an lstat just now
};

// `stamp`: the current FolderStamp when the folder is wanted as a parent, else 0. `check`:
// an entry whose way does not hold may be checked by lstat instead. `way` gets the marks of
// a held folder's way.
Known UseKnownFolder(const std::string& root, const std::u16string& key, uint64_t stamp,
                     bool check, ResolvedPath& out, std::vector<WatchMark>* way) {
  auto it = known_folders.find(key);
  if (it == known_folders.end() || it->second.root != root) return Known::kNo;
  const KnownFolder& folder = it->second;
  bool held = stamp != 0 && folder.stamp == stamp && MarksHold(folder.way);
  struct stat st = folder.st;
  if (!held && stamp != 0 && folder.stamp != 0) {
    // Something on some watched way moved: walked afresh, which watches its way again.
    known_folders.erase(it);
    return Known::kNo;
  }
  if (!held && !check) return Known::kNo;
  if (!held && (lstat(folder.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
                st.st_dev != folder.st.st_dev || st.st_ino != folder.st.st_ino)) {
    known_folders.erase(it);
    return Known::kNo;
  }
  out.host = folder.host;
  out.device = folder.device;
  out.st = st;
  out.exists = true;
  if (held && way) *way = folder.way;
  return held ? Known::kHeld : Known::kChecked;
}

// How many leading components of `parts` a known folder resolves (0: none): the folder part
// (held, or checked by lstat), else the longest shorter way that holds, which costs no
// call. `held` tells whether the folder used holds, and `way` then has its way's marks.
size_t KnownWay(const std::string& root, const std::vector<std::u16string>& parts,
                uint64_t stamp, ResolvedPath& out, bool& held, std::vector<WatchMark>& way) {
  held = false;
  for (size_t count = parts.size() - 1; count > 0; --count) {
    Known known = UseKnownFolder(root, FolderKey(parts, count), stamp,
                                 count == parts.size() - 1, out, &way);
    if (known == Known::kNo) continue;
    held = known == Known::kHeld;
    return count;
  }
  return 0;
}

void RememberFolder(const std::string& root, std::u16string key, const ResolvedPath& folder,
                    uint64_t stamp, const std::vector<WatchMark>& way) {
  if (known_folders.size() >= kKnownFolders) known_folders.clear();
  KnownFolder& known = known_folders[std::move(key)];
  known = KnownFolder{root, folder.host, folder.device, folder.st, stamp, {}};
  if (stamp) known.way = way;
}

Resolution ResolveHostPath(std::u16string_view path, ResolvedPath& out) {
  out.device = std::u16string(path);
  out.host = Utf16ToUtf8(path);
  size_t slash = out.host.find_last_of('/');
  out.name = Utf8ToUtf16(slash == std::string::npos ? out.host : out.host.substr(slash + 1));
  out.exists = lstat(out.host.c_str(), &out.st) == 0;
  if (out.exists && S_ISLNK(out.st.st_mode)) out.exists = stat(out.host.c_str(), &out.st) == 0;
  return {};
}

// The checks of a device path that need no look at the file system: its length, its
// components (split into `parts`), and the device's fs/ folder (`root`).
Resolution SplitOnDevice(std::u16string_view text, PathUse use,
                         std::vector<std::u16string>& parts, std::string& root) {
  if (text.size() >= MAX_PATH) return {ERROR_FILENAME_EXCED_RANGE};
  if (!SplitDevicePath(text, use, parts)) return {ERROR_INVALID_NAME};
  root = FileSystemRoot();
  return root.empty() ? Resolution{ERROR_PATH_NOT_FOUND} : Resolution{};
}

// Set once the kernel has said that it has no openat2, so that nothing asks again.
std::atomic<bool> no_openat2{false};

}  // namespace

UniqueFd OpenAsSpelled(LPCWSTR path, int flags, ResolvedPath& out) {
  out = ResolvedPath{};
  if (!path || HostMode() || no_openat2.load(std::memory_order_relaxed)) return UniqueFd();
  std::vector<std::u16string> parts;
  std::string host;
  if (!SplitOnDevice(path, PathUse::kItem, parts, host) || parts.empty()) return UniqueFd();
  for (const std::u16string& part : parts) {
    out.device.append(u"\\").append(part);
    host.append("/").append(Utf16ToUtf8(part));
  }
  // O_NONBLOCK: a pipe put there on the host must not hold the caller before it is refused.
  open_how how = {};
  how.flags = uint64_t(flags | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  how.resolve = RESOLVE_NO_SYMLINKS;
  UniqueFd fd(int(syscall(SYS_openat2, AT_FDCWD, host.c_str(), &how, sizeof how)));
  if (!fd.valid()) {
    if (errno == ENOSYS) no_openat2.store(true, std::memory_order_relaxed);
    return fd;
  }
  if (fstat(fd.get(), &out.st) != 0 || !S_ISREG(out.st.st_mode) || !IsDeviceItem(out.st)) {
    return UniqueFd();
  }
  out.host = std::move(host);
  out.name = parts.back();
  out.exists = true;
  return fd;
}

bool IsDeviceItem(const struct stat& st) {
  return S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1);
}

std::string JoinHost(const std::string& folder, const std::string& name) {
  return name.empty() ? folder : folder + "/" + name;
}

Resolution ResolvePath(LPCWSTR path, ResolvedPath& out, PathUse use) {
  out = ResolvedPath{};
  if (!path) return {ERROR_INVALID_PARAMETER};
  std::u16string_view text(path);
  if (text.empty()) return {ERROR_PATH_NOT_FOUND};
  // The limit is the device's: host tools name host files wherever the host keeps them.
  if (HostMode()) return ResolveHostPath(text, out);
  std::vector<std::u16string> parts;
  std::string root;
  if (Resolution split = SplitOnDevice(text, use, parts, root); !split) return split;

  // A known folder asked for itself, as a file's parent is before each file is written.
  if (use == PathUse::kItem && parts.size() > 1 &&
      UseKnownFolder(root, FolderKey(parts, parts.size()), 0, true, out, nullptr) != Known::kNo) {
    out.name = out.device.substr(out.device.rfind(u'\\') + 1);
    return {};
  }
  // The one look at the change queue of this resolution: every lookup below sees the
  // folders as they stood then.
  uint64_t stamp = parts.size() > 1 ? FolderStamp() : 0;
  bool applied = stamp != 0;
  bool held = false;
  std::vector<WatchMark> way;  // the marks of the folders looked in so far, while all watched
  size_t first = parts.size() > 1 ? KnownWay(root, parts, stamp, out, held, way) : 0;
  if (first == 0) {
    out.host = root;
    out.exists = lstat(root.c_str(), &out.st) == 0;
  }
  bool all_exact = true;
  // Whether every folder from the root to here is watched since the stamp was taken.
  bool all_watched = applied && (first == 0 || held);
  for (size_t i = first; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    if (!out.exists || !S_ISDIR(out.st.st_mode)) return {ERROR_PATH_NOT_FOUND};
    if (i > first && all_exact) {
      RememberFolder(root, FolderKey(parts, i), out, all_watched ? stamp : 0, way);
    }
    // Watched before its entry is looked at, so that a later change to the way is seen.
    if (!last && all_watched) {
      WatchMark mark;
      all_watched = WatchFolder(out.host, out.st, mark);
      if (all_watched) way.push_back(mark);
    }
    out.device += u'\\';
    if (last && use == PathUse::kPattern) {
      // The pattern is matched by the caller against the folder's entries.
      out.device += parts[i];
      out.name = parts[i];
      return {};
    }
    bool exact = false;
    struct stat folder_st = out.st;
    std::string found =
        FindEntry(out.host, folder_st, parts[i], applied, out.st, out.exists, exact);
    all_exact = all_exact && exact;
    out.name = found.empty() ? parts[i] : Utf8ToUtf16(found);
    out.device += out.name;
    out.host = JoinHost(out.host, found.empty() ? Utf16ToUtf8(parts[i]) : found);
    // The last name of a file that is being deleted can be seen with no link left: gone.
    if (out.exists && S_ISREG(out.st.st_mode) && out.st.st_nlink == 0) out.exists = false;
    if (out.exists && !IsDeviceItem(out.st)) return {ERROR_ACCESS_DENIED};
    if (!out.exists && !last) return {ERROR_PATH_NOT_FOUND};
  }
  if (out.device.empty()) out.device = u"\\";
  return {};
}

}  // namespace coredll
