// FindFirstFileW / FindNextFileW: a snapshot of the matching entries of one folder, in the
// order of their folded names, taken when the search starts.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/device/errors.h"
#include "platform/files/file_meta.h"
#include "platform/files/paths.h"
#include "platform/processes/handles.h"
#include "text/fold.h"
#include "text/utf.h"
#include "text/wildcard.h"

namespace coredll {
namespace {

class FindObject : public KernelObject {
 public:
  std::vector<WIN32_FIND_DATAW> entries;
  size_t next = 0;
};

bool Describe(const std::string& host, const std::u16string& name, WIN32_FIND_DATAW& data) {
  struct stat st;
  if (name.size() >= MAX_PATH || lstat(host.c_str(), &st) != 0 || !IsDeviceItem(st)) {
    return false;  // links are never shown, as they are never followed
  }
  data = WIN32_FIND_DATAW{};
  FileMeta meta = ReadMeta(host, st);
  data.dwFileAttributes = meta.attributes;
  data.ftCreationTime = MakeFileTime(meta.creation_time);
  data.ftLastAccessTime = MakeFileTime(FileTimeFromTimespec(st.st_atim));
  data.ftLastWriteTime = MakeFileTime(FileTimeFromTimespec(st.st_mtim));
  if (!S_ISDIR(st.st_mode)) {
    data.nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
    data.nFileSizeLow = DWORD(st.st_size);
  }
  data.dwOID = DWORD(st.st_ino);
  std::copy(name.begin(), name.end(), data.cFileName);
  return true;
}

std::vector<WIN32_FIND_DATAW> Matches(const std::string& folder, const std::u16string& pattern) {
  std::vector<WIN32_FIND_DATAW> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return found;
  while (dirent* entry = readdir(dir.get())) {
    std::string host_name = entry->d_name;
    if (host_name == "." || host_name == "..") continue;
    std::u16string name = stowkit::Utf8ToUtf16(host_name);
    WIN32_FIND_DATAW data;
    if (stowkit::MatchWildcard(pattern, name) && Describe(JoinHost(folder, host_name), name, data)) {
      found.push_back(data);
    }
  }
  std::sort(found.begin(), found.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
    return stowkit::CompareNoCase(a.cFileName, b.cFileName) < 0;
  });
  return found;
}

}  // namespace
}  // namespace coredll

using namespace coredll;

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!data) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  ResolvedPath path;
  if (Resolution resolved = ResolvePath(pattern, path, PathUse::kPattern); !resolved) {
    return Fail(resolved.error), INVALID_HANDLE_VALUE;
  }
  if (path.name.empty()) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  auto find = std::make_shared<FindObject>();
  find->entries = Matches(path.host, path.name);
  if (find->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  *data = find->entries[find->next++];
  return AddHandle(std::move(find));
}

BOOL FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data) {
  auto find = GetHandle<FindObject>(handle);
  if (!find) return Fail(find.error);
  if (!data) return Fail(ERROR_INVALID_PARAMETER);
  if (find->next >= find->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *data = find->entries[find->next++];
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (auto find = GetHandle<FindObject>(handle); !find) return Fail(find.error);
  return RemoveHandle(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
