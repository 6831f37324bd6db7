#include "platform/files/paths.h"

#include <dirent.h>

#include <cerrno>
#include <memory>
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
// `present` tells whether `st` holds the lstat of what was found; `exact` whether it was
// the exact spelling. A name is tried as spelled first unless the folder's kept listing
// says it is new; a name not there as spelled is then looked up in that listing, made now
// if there is none, so that a new name costs no listing.
std::string FindEntry(const std::string& folder, const struct stat& folder_st,
                      const std::u16string& name, struct stat& st, bool& present, bool& exact) {
  std::string spelled = Utf16ToUtf8(name);
  auto try_spelled = [&] {
    exact = present = lstat(JoinHost(folder, spelled).c_str(), &st) == 0;
    return exact;
  };
  bool tried = !PreferListing(folder_st, name);
  if (tried && try_spelled()) return spelled;
  std::string found;
  switch (FindInFolder(folder, folder_st, name, found)) {
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
// level matched its host name exactly, as a fresh walk would match it again. One lstat
// checks an entry on use: the host path must still name a folder, the same one (device and
// inode), or the entry is dropped and the path walked afresh. Per thread, so unlocked.
struct KnownFolder {
  std::string root;
  std::u16string path;
  std::string host;
  std::u16string device;
  dev_t dev = 0;
  ino_t ino = 0;
};

constexpr size_t kKnownFolders = 64;

struct KnownFolders {
  std::vector<KnownFolder> entries;
  size_t next = 0;  // the slot to replace once all are taken
};

thread_local KnownFolders known_folders;

// The first `count` components of `parts` as written, joined by '\'; all but the last are
// the folder part.
std::u16string FolderKey(const std::vector<std::u16string>& parts, size_t count) {
  std::u16string key;
  for (size_t i = 0; i < count; ++i) key.append(i ? u"\\" : u"").append(parts[i]);
  return key;
}

bool UseKnownFolder(const std::string& root, const std::u16string& key, ResolvedPath& out) {
  for (KnownFolder& folder : known_folders.entries) {
    if (folder.path != key || folder.root != root) continue;
    struct stat st;
    if (lstat(folder.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != folder.dev ||
        st.st_ino != folder.ino) {
      folder.path.clear();
      return false;
    }
    out.host = folder.host;
    out.device = folder.device;
    out.st = st;
    out.exists = true;
    return true;
  }
  return false;
}

void RememberFolder(const std::string& root, std::u16string key, const ResolvedPath& folder) {
  KnownFolder entry{root, std::move(key), folder.host, folder.device, folder.st.st_dev,
                    folder.st.st_ino};
  KnownFolders& known = known_folders;
  if (known.entries.size() < kKnownFolders) {
    known.entries.push_back(std::move(entry));
  } else {
    known.entries[known.next] = std::move(entry);
    known.next = (known.next + 1) % kKnownFolders;
  }
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

}  // namespace

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
  if (text.size() >= MAX_PATH) return {ERROR_FILENAME_EXCED_RANGE};

  std::vector<std::u16string> parts;
  if (!SplitDevicePath(text, use, parts)) return {ERROR_INVALID_NAME};
  std::string root = FileSystemRoot();
  if (root.empty()) return {ERROR_PATH_NOT_FOUND};

  // A known folder asked for itself, as a file's parent is before each file is written.
  if (use == PathUse::kItem && parts.size() > 1 &&
      UseKnownFolder(root, FolderKey(parts, parts.size()), out)) {
    out.name = out.device.substr(out.device.rfind(u'\\') + 1);
    return {};
  }
  std::u16string folder_key = FolderKey(parts, parts.empty() ? 0 : parts.size() - 1);
  size_t first = 0;
  if (parts.size() > 1 && UseKnownFolder(root, folder_key, out)) {
    first = parts.size() - 1;
  } else {
    out.host = root;
    out.exists = lstat(root.c_str(), &out.st) == 0;
  }
  bool all_exact = true;
  for (size_t i = first; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    if (!out.exists || !S_ISDIR(out.st.st_mode)) return {ERROR_PATH_NOT_FOUND};
    if (last && first == 0 && i > 0 && all_exact) RememberFolder(root, folder_key, out);
    out.device += u'\\';
    if (last && use == PathUse::kPattern) {
      // The pattern is matched by the caller against the folder's entries.
      out.device += parts[i];
      out.name = parts[i];
      return {};
    }
    bool exact = false;
    struct stat folder_st = out.st;
    std::string found = FindEntry(out.host, folder_st, parts[i], out.st, out.exists, exact);
    all_exact = all_exact && exact;
    out.name = found.empty() ? parts[i] : Utf8ToUtf16(found);
    out.device += out.name;
    out.host = JoinHost(out.host, found.empty() ? Utf16ToUtf8(parts[i]) : found);
    if (out.exists && !IsDeviceItem(out.st)) return {ERROR_ACCESS_DENIED};
    if (!out.exists && !last) return {ERROR_PATH_NOT_FOUND};
  }
  if (out.device.empty()) out.device = u"\\";
  return {};
}

}  // namespace coredll
