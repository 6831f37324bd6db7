#include "shell/command_line_parser.h"

#include <cstdint>
#include <string>
#include <vector>

#include "engine/install_job.h"
#include "engine/status_reporter.h"
#include "resources/ui_strings.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "text/fold.h"
#include "text/format.h"
#include "text/tokenizer.h"

namespace stowkit {
namespace {

using Tokens = std::vector<std::u16string>;

constexpr std::u16string_view kHeader =
    u"-----------------------------------------\r\n"
    u"Date        : %02d/%02d/%04d %02d:%02d:%02d\r\n"
    u"Command line: %s\r\n\r\n";

bool IsSwitch(std::u16string_view token) {
  return !token.empty() && (token[0] == u'/' || token[0] == u'-');
}

// "/<letter>" or "-<letter>", in any case.
bool IsShortSwitch(std::u16string_view token, char16_t letter) {
  return token.size() == 2 && IsSwitch(token) && FoldUpper(token[1]) == FoldUpper(letter);
}

// The token after the first `letter` switch that has one, or null.
const std::u16string* SwitchValue(const Tokens& tokens, char16_t letter) {
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (IsShortSwitch(tokens[i], letter)) return &tokens[i + 1];
  }
  return nullptr;
}

// The leading decimal digits as a number; 0 when there are none or they pass 32 bits, which
// no process id does.
uint32_t LeadingDecimal(std::u16string_view text) {
  uint64_t value = 0;
  for (size_t i = 0; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > UINT32_MAX) return 0;
  }
  return uint32_t(value);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// "0x" and hexadecimal digits, as the launchers write a window handle; digits past what a
// pointer holds are ignored.
HWND WindowFromHex(std::u16string_view text) {
  if (text.size() >= 2 && text[0] == u'0' && FoldUpper(text[1]) == u'X') text.remove_prefix(2);
  uintptr_t value = 0;
  for (size_t i = 0; i < text.size() && i < sizeof(uintptr_t) * 2 && HexDigit(text[i]) >= 0; ++i) {
    value = value * 16 + uintptr_t(HexDigit(text[i]));
  }
  return reinterpret_cast<HWND>(value);
}

int32_t LanguageFromLocale(LCID locale) {
  switch (locale & 0x3FF) {
    case 0x0C: return 1;
    case 0x10: return 2;
    case 0x07: return 3;
    case 0x0A: return 4;
    case 0x11: return 5;
    default: return 0;
  }
}

int32_t LanguageFromSwitch(std::u16string_view code) {
  static constexpr std::u16string_view kCodes[] = {u"FR", u"IT", u"DE", u"ES", u"JA"};
  for (int32_t i = 0; i < 5; ++i) {
    if (EqualsNoCase(code, kCodes[i])) return i + 1;
  }
  return 0;
}

void LogHeader(std::u16string_view command_line) {
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  report::Debug(Format(kHeader, int(now.wMonth), int(now.wDay), int(now.wYear), int(now.wHour),
                       int(now.wMinute), int(now.wSecond), command_line));
}

// A first argument "/p <pid>" with a non-zero id.
bool ParseWait(const Tokens& tokens, InstallJob& job) {
  if (tokens.size() < 2 || !IsShortSwitch(tokens[0], u'p')) return false;
  uint32_t id = LeadingDecimal(tokens[1]);
  if (id == 0) return false;
  job.wait_process_id = id;
  return true;
}

// The first switch of two or three characters must be the mode switch.
bool ParseMode(const Tokens& tokens, InstallJob& job) {
  job.mode = kModeFullInstall;
  job.silent = 0;
  job.package_path.clear();
  size_t at = 0;
  while (at < tokens.size() && !(IsSwitch(tokens[at]) && (tokens[at].size() == 2 ||
                                                          tokens[at].size() == 3))) {
    ++at;
  }
  if (at == tokens.size()) return false;
  const std::u16string& token = tokens[at];
  switch (FoldUpper(token[1])) {
    case u'I': job.mode = kModeFullInstall; break;
    case u'X': job.mode = kModeFullRemove; break;
    case u'U': job.mode = kModeMinorRemove; break;
    default: return false;
  }
  if (token.size() == 3 && FoldUpper(token[2]) == u'S') job.silent = 1;
  if (at + 1 < tokens.size() && !IsSwitch(tokens[at + 1])) {
    job.package_path = tokens[at + 1];
  } else {
    GetModulePath(job.package_path);
  }
  return true;
}

void ParseLog(const Tokens& tokens, InstallJob& job) {
  if (const std::u16string* path = SwitchValue(tokens, u'v')) {
    job.log_path = *path;
    report::SetLogPath(*path);
  }
}

void ParseLanguage(const Tokens& tokens, InstallJob& job) {
  job.language = LanguageFromLocale(GetUserDefaultLCID());
  if (const std::u16string* code = SwitchValue(tokens, u'l')) {
    job.language = LanguageFromSwitch(*code);
  }
}

void ParseOwner(const Tokens& tokens, InstallJob& job) {
  if (const std::u16string* handle = SwitchValue(tokens, u'h')) {
    job.owner_window = WindowFromHex(*handle);
  }
}

// Case matters for the letter here: only "d" and "D" start a definition.
void ParseMacros(const Tokens& tokens, InstallJob& job) {
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const std::u16string& token = tokens[i];
    if (token.size() >= 2 && IsSwitch(token) && (token[1] == u'd' || token[1] == u'D')) {
      job.macros.SetMacro(std::u16string_view(token).substr(2), tokens[i + 1]);
      ++i;
    }
  }
}

}  // namespace

HRESULT ParseCommandLine(std::u16string_view command_line) {
  LogHeader(command_line);
  InstallJob& job = CreateInstallJob();
  Tokens tokens = SplitTokens(command_line);
  if (!tokens.empty()) tokens.erase(tokens.begin());
  if (ParseWait(tokens, job)) return S_OK;
  if (!ParseMode(tokens, job)) {
    SetUiLanguage(job.language);
    report::Detail(Format(u"Invalid command line: %s", command_line));
    return kInvalidArgument;
  }
  ParseLog(tokens, job);
  ParseLanguage(tokens, job);
  ParseOwner(tokens, job);
  ParseMacros(tokens, job);
  SetUiLanguage(job.language);
  return S_OK;
}

}  // namespace stowkit
