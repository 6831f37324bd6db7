#include "platform/paths.h"

#include <dirent.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/device_state.h"
#include "platform/errors.h"
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

// The host name of `name` inside `folder`: the exact spelling if present, else the first
// entry equal to it case-insensitively, else "" (absent).
std::string FindEntry(const std::string& folder, const std::u16string& name) {
  std::string exact = Utf16ToUtf8(name);
  struct stat st;
  if (lstat(JoinHost(folder, exact).c_str(), &st) == 0) return exact;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::string();
  while (dirent* entry = readdir(dir.get())) {
    if (EqualsNoCase(Utf8ToUtf16(entry->d_name), name)) return entry->d_name;
  }
  return std::string();
}

bool ResolveHostPath(std::u16string_view path, ResolvedPath& out) {
  out.device = std::u16string(path);
  out.host = Utf16ToUtf8(path);
  size_t slash = out.host.find_last_of('/');
  out.name = Utf8ToUtf16(slash == std::string::npos ? out.host : out.host.substr(slash + 1));
  out.exists = lstat(out.host.c_str(), &out.st) == 0;
  if (out.exists && S_ISLNK(out.st.st_mode)) out.exists = stat(out.host.c_str(), &out.st) == 0;
  return true;
}

}  // namespace

bool IsDeviceItem(const struct stat& st) {
  return S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1);
}

std::string JoinHost(const std::string& folder, const std::string& name) {
  return name.empty() ? folder : folder + "/" + name;
}

bool ResolvePath(LPCWSTR path, ResolvedPath& out, PathUse use) {
  out = ResolvedPath{};
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string_view text(path);
  if (text.empty()) return Fail(ERROR_PATH_NOT_FOUND);
  if (text.size() >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);
  if (HostMode()) return ResolveHostPath(text, out);

  std::vector<std::u16string> parts;
  if (!SplitDevicePath(text, use, parts)) return Fail(ERROR_INVALID_NAME);
  std::string root = FileSystemRoot();
  if (root.empty()) return Fail(ERROR_PATH_NOT_FOUND);

  out.host = root;
  out.exists = lstat(root.c_str(), &out.st) == 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    if (!out.exists || !S_ISDIR(out.st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);
    out.device += u'\\';
    if (last && use == PathUse::kPattern) {
      // The pattern is matched by the caller against the folder's entries.
      out.device += parts[i];
      out.name = parts[i];
      return true;
    }
    std::string found = FindEntry(out.host, parts[i]);
    out.name = found.empty() ? parts[i] : Utf8ToUtf16(found);
    out.device += out.name;
    out.host = JoinHost(out.host, found.empty() ? Utf16ToUtf8(parts[i]) : found);
    out.exists = !found.empty() && lstat(out.host.c_str(), &out.st) == 0;
    if (out.exists && !IsDeviceItem(out.st)) return Fail(ERROR_ACCESS_DENIED);
    if (!out.exists && !last) return Fail(ERROR_PATH_NOT_FOUND);
  }
  if (out.device.empty()) out.device = u"\\";
  return true;
}

}  // namespace coredll
