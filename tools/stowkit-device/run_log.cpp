#include "run_log.h"

#include <memory>
#include <set>

#include "engine/default_log_path.h"
#include "engine/macro_sources.h"
#include "engine/run_mode.h"
#include "engine/run_stages.h"
#include "package/package.h"
#include "package/vocabulary.h"
#include "resources/string_table.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::device_tool {
namespace {

constexpr std::u16string_view kCompletionPrefix = u"Completion status = ";
constexpr std::u16string_view kHeaderCommandLine = u"Command line: ";

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A switch of the installer's command line as it reads them: "/x" or "-x", in any case.
bool IsSwitch(const std::string& argument, char letter) {
  return argument.size() == 2 && (argument[0] == '/' || argument[0] == '-') &&
         FoldUpper(char16_t(argument[1])) == FoldUpper(char16_t(letter));
}

// The stage headings in every language the installer speaks: the run's UI language is the
// package's, or the command line's.
bool IsStageText(const std::u16string& line) {
  static const std::set<std::u16string> texts = [] {
    std::set<std::u16string> all;
    for (int block = 0; block < kLanguageCount; ++block) {
      for (uint32_t id = uint32_t(kFirstStageText); id <= uint32_t(kLastStageText); ++id) {
        const char16_t* text = FindStringResource(ResourceId(UiStringId(id), block));
        if (text && *text) all.insert(text);
      }
    }
    return all;
  }();
  return texts.count(line) > 0;
}

// What every sequence logs after its last stage, whatever its outcome.
bool IsClosing(const std::u16string& line) {
  return line.empty() || line == kFlushingRegistryText || line == kRegistryFlushedText;
}

struct Failure {
  std::u16string stage;   // the heading of the stage the run stopped in; empty before any
  std::u16string reason;  // the last line it logged there; empty when it logged none
};

Failure FindFailure(const std::vector<std::u16string>& lines) {
  size_t end = lines.size();
  for (size_t i = lines.size(); i-- > 0;) {
    if (StartsWith(lines[i], kCompletionPrefix)) {
      end = i;
      break;
    }
  }
  while (end > 0 && IsClosing(lines[end - 1])) --end;
  Failure failure;
  // Back to the stage heading, or to the run's header when it stopped before its first stage.
  for (size_t i = end; i-- > 0;) {
    bool stage = IsStageText(lines[i]);
    if (!stage && !StartsWith(lines[i], kHeaderCommandLine)) continue;
    if (stage) failure.stage = lines[i];
    if (i + 1 < end) failure.reason = lines[end - 1];
    break;
  }
  return failure;
}

bool SameStamp(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

RunLog::RunLog(const std::u16string& package, const std::vector<std::string>& arguments,
               bool removal)
    : removal_(removal) {
  // The token after the first "/v", as the installer takes it.
  for (size_t i = 0; i + 1 < arguments.size() && !named_; ++i) {
    if (!IsSwitch(arguments[i], 'v')) continue;
    path_ = Utf8ToUtf16(arguments[i + 1]);
    named_ = true;
  }
  std::unique_ptr<Package> opened;
  std::u16string error_text;
  // The installer logs nothing of a package it cannot open, so the reason is told here.
  if (FAILED(OpenPackage(error_text, package, opened))) package_error_ = Utf16ToUtf8(error_text);
  if (!named_ && opened) {
    // "/D<name> <value>" pairs; the letter's case matters to the installer here.
    MacroTable macros;
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
      const std::string& argument = arguments[i];
      if (argument.size() >= 2 && (argument[0] == '/' || argument[0] == '-') &&
          (argument[1] == 'd' || argument[1] == 'D')) {
        macros.SetMacro(Utf8ToUtf16(argument.substr(2)), Utf8ToUtf16(arguments[++i]));
      }
    }
    MacroTable table;
    BuildMacroTable(table, u"", *opened, macros);
    std::u16string application;
    opened->GetProperty(kAppName, application);
    if (!IsUsableApplicationName(application)) application.clear();
    path_ = DefaultLogPath(*opened, application, removal ? kModeFullRemove : kModeFullInstall,
                           table);
  }
  std::vector<std::u16string> lines;
  Stamp stamp;
  if (Read(lines, stamp)) before_ = stamp;
}

bool ReadDeviceLog(const std::u16string& path, std::u16string& text, FILETIME* created,
                   FILETIME* written) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = !(created || written) || GetFileTime(file, created, nullptr, written);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ok && (ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    bytes.append(buffer, got);
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  if (!ok) return false;
  text.assign(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  }
  return true;
}

bool RunLog::Read(std::vector<std::u16string>& lines, Stamp& stamp) const {
  std::u16string text;
  if (path_.empty() || !ReadDeviceLog(path_, text, &stamp.created, &stamp.written)) return false;
  lines.clear();
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

std::string RunLog::FailureReason() const {
  std::string reason = LogReason();
  return package_error_.empty() ? reason : reason + "; the package does not open: " + package_error_;
}

std::string RunLog::LogReason() const {
  std::vector<std::u16string> lines;
  Stamp now;
  std::string shown = Utf16ToUtf8(path_);
  bool fresh = Read(lines, now) &&
               !(before_ && SameStamp(before_->created, now.created) && SameStamp(before_->written, now.written));
  if (!fresh) {
    if (named_) return "the run wrote no log at '" + shown + "' to tell why it failed";
    return std::string("the run wrote no log to tell why it failed (run it again with '-- /v ") +
           (removal_ ? "\\Temp\\remove.txt" : "\\Temp\\install.txt") + "' to have it write one)";
  }
  Failure failure = FindFailure(lines);
  std::string where = " (log: " + shown + ")";
  std::string stage = Utf16ToUtf8(failure.stage), reason = Utf16ToUtf8(failure.reason);
  if (stage.empty()) {
    return reason.empty() ? "the run's log " + shown + " names no reason" : "the run failed: " + reason + where;
  }
  if (reason.empty()) return "the run failed in \"" + stage + "\", which logged no reason" + where;
  return "the run failed in \"" + stage + "\": " + reason + where;
}

}  // namespace stowkit::device_tool
