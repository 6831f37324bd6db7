#include "device_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <vector>

#include "coredll/windows.h"
#include "text/format.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

constexpr size_t kPushBufferBytes = 1 << 20;

int Failed(const std::string& what, const std::string& path) {
  return Error(what + " '" + path + "': " + SystemErrorText(GetLastError()));
}

bool IsFolder(const std::u16string& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string LocalTimeText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return u"?";
  return Format(u"%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
}

void PrintEntry(const WIN32_FIND_DATAW& data, bool long_format) {
  std::u16string name = data.cFileName;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) name += u'\\';
  if (!long_format) {
    std::cout << Utf16ToUtf8(name) << "\n";
    return;
  }
  uint64_t size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  std::cout << AttributeLetters(data.dwFileAttributes) << " "
            << Utf16ToUtf8(Format(u"%10s", Utf8ToUtf16(std::to_string(size)))) << " "
            << Utf16ToUtf8(LocalTimeText(data.ftLastWriteTime)) << " "
            << Utf16ToUtf8(LocalTimeText(data.ftCreationTime)) << " " << Utf16ToUtf8(name)
            << "\n";
}

// Creates every missing folder above `path`.
bool MakeParents(const std::u16string& path) {
  for (size_t pos = path.find_first_of(u"\\/", 1); pos != std::u16string::npos;
       pos = path.find_first_of(u"\\/", pos + 1)) {
    std::u16string folder = path.substr(0, pos);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string AttributeLetters(DWORD attributes) {
  std::string letters = "-----";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) letters[0] = 'd';
  if (attributes & FILE_ATTRIBUTE_READONLY) letters[1] = 'r';
  if (attributes & FILE_ATTRIBUTE_HIDDEN) letters[2] = 'h';
  if (attributes & FILE_ATTRIBUTE_SYSTEM) letters[3] = 's';
  if (attributes & FILE_ATTRIBUTE_ARCHIVE) letters[4] = 'a';
  return letters;
}

std::string SystemErrorText(DWORD error) {
  WCHAR text[512];
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                FORMAT_MESSAGE_MAX_WIDTH_MASK;
  DWORD n = FormatMessageW(flags, nullptr, error, 0, text, 512, nullptr);
  while (n > 0 && text[n - 1] == u' ') --n;
  if (n == 0) return "error " + std::to_string(error);
  return Utf16ToUtf8(std::u16string_view(text, n));
}

int Error(const std::string& message) {
  std::cerr << "stowkit-device: " << message << "\n";
  return 1;
}

int Init(const std::string& folder, coredll::Platform platform) {
  std::string error;
  if (!coredll::InitDevice(folder, platform, &error)) return Error(error);
  return 0;
}

int List(const std::string& path, bool long_format) {
  std::u16string pattern = Utf8ToUtf16(path);
  if (IsFolder(pattern)) {
    if (pattern.empty() || (pattern.back() != u'\\' && pattern.back() != u'/')) pattern += u'\\';
    pattern += u'*';
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND && IsFolder(Utf8ToUtf16(path))) return 0;
    return Failed("cannot list", path);
  }
  do {
    PrintEntry(data, long_format);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return 0;
}

// Streamed through a fixed buffer, so pushing a package takes the same memory whatever its
// size.
int Push(const std::string& host_file, const std::string& device_path) {
  std::ifstream in(host_file, std::ios::binary);
  if (!in.is_open()) return Error("cannot read '" + host_file + "': " + std::strerror(errno));
  std::u16string target = Utf8ToUtf16(device_path);
  auto create = [&] {
    return CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE file = create();
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    if (!MakeParents(target)) return Failed("cannot create the folders of", device_path);
    file = create();
  }
  if (file == INVALID_HANDLE_VALUE) return Failed("cannot push to", device_path);
  std::vector<char> buffer(kPushBufferBytes);
  BOOL ok = TRUE;
  while (ok && in.read(buffer.data(), std::streamsize(buffer.size())).gcount() > 0) {
    DWORD written = 0;
    ok = WriteFile(file, buffer.data(), DWORD(in.gcount()), &written, nullptr);
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok || in.bad()) {
    DeleteFileW(target.c_str());  // never leave half a file behind
    if (ok) return Error("cannot read '" + host_file + "': " + std::strerror(errno));
    SetLastError(error);
    return Failed("cannot write", device_path);
  }
  return 0;
}

int Pull(const std::string& device_path, const std::string& host_file) {
  std::u16string source = Utf8ToUtf16(device_path);
  HANDLE file = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed("cannot pull", device_path);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  BOOL ok;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    bytes.append(buffer, got);
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    SetLastError(error);
    return Failed("cannot read", device_path);
  }
  if (host_file == "-") {
    if (!std::cout.write(bytes.data(), std::streamsize(bytes.size())) || !std::cout.flush()) {
      return Error("cannot write to standard output: " + std::string(std::strerror(errno)));
    }
    return 0;
  }
  std::ofstream out(host_file, std::ios::binary | std::ios::trunc);
  if (!out || !out.write(bytes.data(), std::streamsize(bytes.size())) || !out.flush()) {
    return Error("cannot write '" + host_file + "': " + std::strerror(errno));
  }
  return 0;
}

int Doctor(const std::string& folder) {
  std::vector<std::string> findings = coredll::CheckDevice(folder);
  for (const std::string& finding : findings) std::cout << finding << "\n";
  if (findings.empty()) {
    std::cout << folder << ": no problems found\n";
    return 0;
  }
  std::cout.flush();
  return Error(std::to_string(findings.size()) + (findings.size() == 1 ? " problem" : " problems") +
               " found in " + folder);
}

}  // namespace stowkit::device_tool
