// Reading the binary dialog template (see DLGTEMPLATE in coredll/winuser.h) into plain data.
// The template comes as a bare pointer with no length, so reading trusts its counts; what
// can be checked is: the extended form is refused, strings must end within kMaxTemplateText
// characters, an item's class ordinal must name a class the platform has, and the dialog
// itself must be of the dialog class (a template naming another is refused).
#pragma once

#include <string>
#include <vector>

#include "coredll/winuser.h"

namespace coredll {

inline constexpr size_t kMaxTemplateText = 4096;

struct TemplateItem {
  DWORD style = 0;
  DWORD ex_style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  WORD id = 0;
  std::u16string class_name;
  std::u16string title;
  WORD title_ordinal = 0;  // a resource id given instead of a title (an icon's)
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD ex_style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  std::u16string title;
  WORD point_size = 0;        // with DS_SETFONT
  std::u16string font;
  std::vector<TemplateItem> items;
};

// False with the platform error in `error`: ERROR_INVALID_PARAMETER for a malformed
// template, ERROR_CANNOT_FIND_WND_CLASS for an unknown item class ordinal,
// ERROR_NOT_SUPPORTED for a dialog class of its own.
bool ReadDialogTemplate(const DLGTEMPLATE* source, DialogTemplate& out, DWORD& error);

}  // namespace coredll
