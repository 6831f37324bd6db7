// Window classes of this process: the ones a program registers and the built-in ones
// ("Dialog", "static", "button", "edit", and "msctls_progress32" once the common controls
// are initialised). Names compare without case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "coredll/winuser.h"

namespace coredll {

struct WindowClass {
  std::u16string name;  // as registered
  WNDPROC procedure = nullptr;
};

// The class of that name; nullopt when there is none (ERROR_CANNOT_FIND_WND_CLASS).
std::optional<WindowClass> FindWindowClass(std::u16string_view name);

// The class name of a dialog item's ordinal (0x0080 button, 0x0081 edit, 0x0082 static),
// or empty for one the platform does not have.
std::u16string_view ClassOfOrdinal(WORD ordinal);

// Makes the progress bar's class available.
void RegisterCommonControls();

inline constexpr char16_t kDialogClass[] = u"Dialog";

}  // namespace coredll
