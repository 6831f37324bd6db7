// How windows look on a character screen. A dialog keeps its template's layout and
// proportions at one cell per 4 x 8 dialog units (a 120 x 85 dialog is 30 columns by 11
// rows inside its frame), even when the shell sized it to a handheld's screen: the terminal
// is no handheld's screen, and a dialog spread over it would wrap its texts where the
// handheld does but leave the rest of its width empty.
// A frame is drawn with '+', '-' and '|', its title in the top edge and, when the shell gave
// it a Done button, "[ok]" at the right of it. Windows are stacked top to bottom in the
// order given, with one empty line between them. A centred window stands in the middle of
// the screen's width, and moves down to the middle of its height as far as the windows
// below it still fit on the screen.
#pragma once

#include <string>
#include <vector>

#include "coredll/winuser.h"

namespace coredll {

struct ScreenItem {
  enum class Kind {
    kText,    // wrapped at blanks into the item's rows
    kLine,    // rows as they are, split at '\n' (an icon's picture, a row of buttons)
    kButton,  // a push button's label, as "[ label ]"
    kBar,     // a progress bar, "[###.....]"
  };
  Kind kind = Kind::kText;
  int column = 0, row = 0, width = 1, height = 1;  // cells inside the frame
  std::u16string text;                             // text, line or button label
  DWORD align = SS_LEFT;                           // of text and lines: SS_LEFT, SS_CENTER, SS_RIGHT
  int low = 0, high = 100, position = 0;           // of a bar
};

struct ScreenWindow {
  std::u16string title;
  int width = 0, height = 0;  // cells inside the frame
  bool done_button = false;
  std::vector<ScreenItem> items;
  bool centred = false;
};

// Cells of a dialog-unit rectangle, at least one in each direction.
ScreenItem PlaceItem(int x, int y, int width, int height);

// A message box: icon glyph (may be empty) left of the wrapped text, its buttons below as
// "[Y]es  [N]o", at most `columns` wide with its frame.
ScreenWindow MessageBoxScreen(const std::u16string& caption, const std::u16string& text,
                              const std::u16string& icon, const std::vector<int>& buttons,
                              int columns);

// The lines of a screen `columns` wide and `rows` high (0: of unknown height, so that no
// window moves down); frames wider than the screen are cut to fit.
std::vector<std::u16string> LayOut(const std::vector<ScreenWindow>& windows, int columns,
                                   int rows = 0);

}  // namespace coredll
