#include "services/file_services.h"

#include <atomic>

#include "coredll/loader.h"
#include "text/format.h"

namespace stowkit {
namespace {

std::atomic<uint8_t> package_options{0};
std::atomic<uint32_t> restart_request{0};

constexpr size_t kNoSeparator = std::u16string_view::npos;

size_t LastSeparator(std::u16string_view path) { return path.rfind(u'\\'); }

bool CreateLevel(const std::u16string& prefix) {
  return CreateDirectoryW(prefix.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Appends the text of `path` from `pos` up to and including the next '\' (or to the end);
// returns the position after it.
size_t AppendThroughSeparator(std::u16string_view path, size_t pos, std::u16string& prefix) {
  size_t end = path.find(u'\\', pos);
  end = end == kNoSeparator ? path.size() : end + 1;
  prefix.append(path.substr(pos, end - pos));
  return end;
}

// The platform's decimal text-to-long: optional blanks and sign, then leading digits.
long LeadingLong(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = i < text.size() && text[i] == u'-';
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) value = value * 10 + (text[i] - u'0');
  return negative ? -value : value;
}

}  // namespace

int MakeTempFolderPath(std::u16string& path) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  std::u16string name = Format(u"PKG_%04d%02d%02d%02d%02d%02d", now.wYear, now.wMonth, now.wDay,
                               now.wHour, now.wMinute, now.wSecond);
  WCHAR temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0) return 0;
  JoinPath(temp, name, path);
  return 1;
}

int GetModulePath(std::u16string& path) {
  WCHAR buffer[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  path.assign(buffer, n);
  return 1;
}

int CreateFolder(std::u16string_view original) {
  std::u16string path(original);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  // A folder whose parent exists is made, or found, by the last create alone; every level
  // before it would only answer that it exists. Anything else walks the levels, so what is
  // created and the error left behind are the walk's.
  if (CreateLevel(path)) return 1;
  std::u16string prefix;
  bool root_seen = false;
  for (size_t i = 0; i < path.size();) {
    if (path[i] != u'\\') {
      prefix += path[i++];
    } else if (!root_seen) {
      root_seen = true;
      prefix += u'\\';
      ++i;
      if (i < path.size() && path[i] == u'\\') {  // "\\server\share\": nothing to create
        prefix += u'\\';
        i = AppendThroughSeparator(path, i + 1, prefix);
        i = AppendThroughSeparator(path, i, prefix);
      }
    } else {
      if (!CreateLevel(prefix)) return 0;
      prefix += u'\\';
      ++i;
    }
  }
  return CreateLevel(prefix) ? 1 : 0;
}

int DeleteFolder(std::u16string_view path, bool delete_files) {
  std::u16string pattern = JoinPath(path, u"*");
  WIN32_FIND_DATAW data;
  bool holds_files = false;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string_view name = data.cFileName;
      std::u16string entry = JoinPath(path, name);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name != u"." && name != u"..") DeleteFolder(entry, delete_files);
      } else {
        holds_files = true;
        if (delete_files) ForceDeleteFile(entry);
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  if (!delete_files && holds_files) {
    SetLastError(ERROR_DIR_NOT_EMPTY);  // not whatever the search left behind
    return 0;
  }
  return RemoveDirectoryW(std::u16string(path).c_str()) ? 1 : 0;
}

// A parent without wildcards is looked up by name: it answers as a search for it would,
// without listing the folder that holds it, which matters once per file an install writes.
int EnsureParentFolder(std::u16string_view file_path) {
  size_t separator = LastSeparator(file_path);
  if (separator == kNoSeparator || separator <= 2) return 1;
  std::u16string parent(file_path.substr(0, separator));
  bool found = parent.find_first_of(u"*?") == std::u16string::npos
                   ? GetFileAttributesW(parent.c_str()) != INVALID_FILE_ATTRIBUTES
                   : FileExists(parent);
  return found ? 1 : CreateFolder(parent);
}

int FileExists(std::u16string_view path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(std::u16string(path).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  FindClose(find);
  return 1;
}

int GetFileAttribs(std::u16string_view path, uint32_t& attributes) {
  DWORD found = GetFileAttributesW(std::u16string(path).c_str());
  attributes = found == INVALID_FILE_ATTRIBUTES ? 0 : found;
  return found == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}

int SetFileTimeText(std::u16string_view path, std::u16string_view text) {
  if (text.size() != 14) return 0;
  SYSTEMTIME local = {};
  local.wYear = WORD(LeadingLong(text.substr(0, 4)));
  local.wMonth = WORD(LeadingLong(text.substr(4, 2)));
  local.wDay = WORD(LeadingLong(text.substr(6, 2)));
  local.wHour = WORD(LeadingLong(text.substr(8, 2)));
  local.wMinute = WORD(LeadingLong(text.substr(10, 2)));
  local.wSecond = WORD(LeadingLong(text.substr(12, 2)));
  FILETIME local_time, utc;
  if (!SystemTimeToFileTime(&local, &local_time) || !LocalFileTimeToFileTime(&local_time, &utc)) {
    return 0;
  }
  HANDLE file = CreateFileW(std::u16string(path).c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BOOL ok = SetFileTime(file, &utc, &utc, &utc);
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return ok ? 1 : 0;
}

// Deletes first and clears the attributes only when that was refused: most files are not
// read-only, and a delete that works leaves nothing whose attributes could matter. A file
// that stays (read-only, or in use) ends with normal attributes, as after clearing first.
int ForceDeleteFile(std::u16string_view path) {
  std::u16string text(path);
  if (DeleteFileW(text.c_str())) return 1;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 0;
  SetFileAttributesW(text.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(text.c_str()) ? 1 : 0;
}

void JoinPath(std::u16string_view folder, std::u16string_view name, std::u16string& out) {
  if (name.empty()) {
    out.assign(folder);
    return;
  }
  if (folder.empty()) {
    out.assign(name);
    return;
  }
  out.assign(folder);
  if (LastSeparator(folder) != folder.size() - 1) out += u'\\';
  if (name.front() == u'\\') name.remove_prefix(1);
  out.append(name);
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out;
  JoinPath(folder, name, out);
  return out;
}

void PathFileName(std::u16string_view path, std::u16string& out) {
  size_t separator = LastSeparator(path);
  out.assign(separator == kNoSeparator ? path : path.substr(separator + 1));
}

void PathFolder(std::u16string_view path, std::u16string& out) {
  size_t separator = LastSeparator(path);
  out.assign(separator == kNoSeparator ? path : path.substr(0, separator));
}

void SetPackageOptions(uint8_t options) { package_options.store(options); }
uint8_t GetPackageOptions() { return package_options.load(); }

void SetRestartRequest(uint32_t request) { restart_request.store(request); }
uint32_t GetRestartRequest() { return restart_request.load(); }

}  // namespace stowkit
