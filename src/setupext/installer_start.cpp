#include "setupext/installer_start.h"

#include "services/program_services.h"
#include "text/format.h"

namespace stowkit {
namespace {

// MB_ICONSTOP | MB_SETFOREGROUND: the box must be seen over the CAB installer's window.
constexpr UINT kErrorBoxStyle = 0x10010;

}  // namespace

std::u16string InstallerArguments(std::u16string_view mode_switch, bool silent,
                                  std::u16string_view package, HWND owner) {
  std::u16string switch_text(mode_switch);
  if (silent) switch_text += u's';
  // The platform's window handles are 32-bit values, as on the handheld.
  return Format(u"%s \"%s\" /h 0x%x", switch_text, package, uint32_t(uintptr_t(owner)));
}

bool RunAndWait(HWND owner, std::u16string_view program, std::u16string_view arguments,
                std::u16string_view failure, DWORD& exit_code) {
  if (RunProgram(program, arguments, true, 0, &exit_code)) return true;
  std::u16string text = Format(failure, GetLastError(), program, arguments);
  MessageBoxW(owner, text.c_str(), u"Error", kErrorBoxStyle);
  return false;
}

void HandOffRestart(std::u16string_view program) {
  RunProgram(program, Format(u"/p %lu", GetCurrentProcessId()), false, 0, nullptr);
}

}  // namespace stowkit
