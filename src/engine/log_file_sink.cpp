#include "engine/log_file_sink.h"

#include <string>

#include "engine/run_mode.h"
#include "services/file_services.h"
#include "text/format.h"

namespace stowkit {
namespace {

std::u16string_view ModeName(int32_t mode) {
  switch (mode) {
    case kModePatchInstall: return u"PKG_MODE_PATCH_INSTALL";
    case kModeFullRemove: return u"PKG_MODE_FULL_REMOVE";
    case kModeMinorRemove: return u"PKG_MODE_MINOR_REMOVE";
    default: return u"PKG_MODE_FULL_INSTALL";
  }
}

// Little-endian whatever the host's order, since the file format fixes it.
void AppendUtf16Le(std::string& bytes, std::u16string_view text) {
  for (char16_t c : text) {
    bytes += char(c & 0xFF);
    bytes += char(c >> 8);
  }
}

}  // namespace

LogFileSink::~LogFileSink() {
  Flush();
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void LogFileSink::SetLogPath(std::u16string_view path) {
  if (file_ != INVALID_HANDLE_VALUE || path.empty()) return;
  std::u16string name(path);
  EnsureParentFolder(name);
  ForceDeleteFile(name);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  file_ = file;
  path_ = std::move(name);
  Flush();
}

// A child installer given the same path appends to this file while this process waits for
// it, and the engine refreshes the reporter after every such wait; seeking to the end after
// a refresh keeps the child's lines instead of overwriting them. Only then: a seek per block
// would cost a call on the file for every block of a run. A block that fails to write is
// dropped: the run goes on.
void LogFileSink::Flush() {
  if (file_ == INVALID_HANDLE_VALUE || block_.empty()) return;
  if (!at_end_) SetFilePointer(file_, 0, nullptr, FILE_END);
  at_end_ = true;
  WriteFile(file_, block_.data(), DWORD(block_.size()), nullptr, nullptr);
  block_.clear();
}

void LogFileSink::Begin(std::u16string_view package_name, int32_t mode) {
  WriteLine(Format(u"Begin %s for %s", ModeName(mode), package_name));
}

void LogFileSink::Status(std::u16string_view text) {
  WriteLine(text);
  Flush();
}

void LogFileSink::Complete(int32_t completion_status) {
  WriteLine(Format(u"Completion status = %d", completion_status));
  Flush();
}

void LogFileSink::WriteLine(std::u16string_view text) {
  if (!enabled_) return;
  AppendUtf16Le(block_, text);
  AppendUtf16Le(block_, u"\r\n");
  if (block_.size() >= kBlockBytes) Flush();
}

}  // namespace stowkit
