// Icons and cursors. The system's are known by their IDI_ and IDC_ numbers; a module's by
// its ICONRESOURCE table, or by resource id or name alone ("#<id>") when the table lacks
// it. Handles live in the handle table; loading the same icon again gives the same handle.
#pragma once

#include <string>

#include "coredll/winuser.h"

namespace coredll {

// What the screen shows for an icon: "(X)", "(?)", "(!)", "(i)", "[=]" for the system's
// hand, question, exclamation, information and application icons, a module icon's
// character picture (rows split by '\n') or "#<id>"; empty for a handle that is not an icon.
std::u16string IconGlyph(HICON icon);
// A module icon's ICON_PIXELS rows of letters; null for any other handle.
const char* IconPixels(HICON icon);

// The glyph of a system icon by its IDI_ number; empty when there is no such icon.
std::u16string SystemIconGlyph(UINT id);
// The glyph of a message box's MB_ICON bits; empty without an icon.
std::u16string MessageBoxIconGlyph(UINT type);

}  // namespace coredll
