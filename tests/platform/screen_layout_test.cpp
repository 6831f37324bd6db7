// How windows are laid out on a character screen: dialog units to cells, wrapping, cutting
// to fit, bars and button rows. Pure functions of the platform, compiled in here.
#include <gtest/gtest.h>

#include "platform/screen/screen_layout.h"

namespace coredll {
namespace {

using Lines = std::vector<std::u16string>;

ScreenItem Text(int column, int row, int width, int height, std::u16string text, DWORD align = SS_LEFT) {
  ScreenItem item;
  item.column = column;
  item.row = row;
  item.width = width;
  item.height = height;
  item.text = std::move(text);
  item.align = align;
  return item;
}

TEST(ScreenLayoutTest, DialogUnitsBecomeCellsOfFourByEight) {
  ScreenItem status = PlaceItem(6, 1, 111, 29);
  EXPECT_EQ((std::vector<int>{status.column, status.row, status.width, status.height}),
            (std::vector<int>{1, 0, 28, 3}));
  ScreenItem tiny = PlaceItem(2, 2, 1, 1);
  EXPECT_EQ((std::vector<int>{tiny.width, tiny.height}), (std::vector<int>{1, 1})) << "never empty";
}

TEST(ScreenLayoutTest, TextWrapsAtBlanksAndLineEndsCutsLongWordsAndStaysInItsRows) {
  ScreenWindow window{u"Title", 10, 4, false,
                      {Text(0, 0, 10, 2, u"abcde fghi jk lm"),
                       Text(0, 2, 10, 1, u"abcdefghijklmnop"),
                       Text(0, 3, 10, 1, u"x\r\ny")}};
  EXPECT_EQ(LayOut({window}, 80), (Lines{
                                      u"+- Title --+",
                                      u"|abcde fghi|",
                                      u"|jk lm     |",
                                      u"|abcdefghij|",
                                      u"|x         |",
                                      u"+----------+",
                                  }));
}

TEST(ScreenLayoutTest, AlignmentBarsButtonsAndTheDoneButton) {
  ScreenItem bar;
  bar.kind = ScreenItem::Kind::kBar;
  bar.width = 12;
  bar.low = 0;
  bar.high = 10;
  bar.position = 10;
  ScreenItem button = Text(0, 1, 12, 1, u"&Cancel");
  button.kind = ScreenItem::Kind::kButton;
  ScreenWindow window{u"A long title that is cut", 12, 3, true,
                      {bar, button, Text(0, 2, 12, 1, u"right", SS_RIGHT)}};
  EXPECT_EQ(LayOut({window}, 80), (Lines{
                                      u"+- A l -[ok]-+",
                                      u"|[##########]|",
                                      u"| [ Cancel ] |",
                                      u"|       right|",
                                      u"+------------+",
                                  }));
}

TEST(ScreenLayoutTest, AMessageBoxFitsItsTextIconAndButtonsIntoTheScreen) {
  ScreenWindow box = MessageBoxScreen(u"Q", u"Keep the file?", u"(?)", {IDYES, IDNO}, 80);
  EXPECT_EQ(LayOut({box}, 80), (Lines{
                                   u"+- Q ----------------+",
                                   u"| (?) Keep the file? |",
                                   u"|                    |",
                                   u"|    [Y]es  [N]o     |",
                                   u"+--------------------+",
                               }));
  ScreenWindow narrow = MessageBoxScreen(u"Q", u"Keep the file?", u"", {IDOK}, 12);
  Lines lines = LayOut({narrow}, 12);
  for (const std::u16string& line : lines) EXPECT_LE(line.size(), 12u) << "cut to the screen";
  EXPECT_EQ(lines[1], u"| Keep the |");
}

TEST(ScreenLayoutTest, WindowsAreStackedWithAnEmptyLineBetween) {
  ScreenWindow a{u"", 2, 1, false, {}}, b{u"", 2, 1, false, {}};
  EXPECT_EQ(LayOut({a, b}, 80), (Lines{u"+--+", u"|  |", u"+--+", u"", u"+--+", u"|  |", u"+--+"}));
}

TEST(ScreenLayoutTest, ACentredWindowMovesToTheMiddleAsFarAsTheWindowsBelowItStillFit) {
  ScreenWindow centred{u"", 2, 1, false, {}, true}, plain{u"", 2, 1, false, {}};
  EXPECT_EQ(LayOut({centred}, 10, 9),
            (Lines{u"", u"", u"", u"   +--+", u"   |  |", u"   +--+"}));
  EXPECT_EQ(LayOut({centred, plain}, 10, 9),
            (Lines{u"", u"", u"   +--+", u"   |  |", u"   +--+", u"", u"+--+", u"|  |", u"+--+"}))
      << "two rows up, so that the window below it fits";
  EXPECT_EQ(LayOut({plain, centred}, 10, 13),
            (Lines{u"+--+", u"|  |", u"+--+", u"", u"", u"   +--+", u"   |  |", u"   +--+"}))
      << "below a window it still goes to the middle";
  EXPECT_EQ(LayOut({centred, plain}, 10, 5)[0], u"   +--+") << "a screen too low for both";
  EXPECT_EQ(LayOut({centred}, 10), (Lines{u"   +--+", u"   |  |", u"   +--+"}))
      << "a screen of unknown height";

  ScreenWindow wide{u"", 30, 1, false, {}, true};
  EXPECT_EQ(LayOut({wide}, 10)[0], u"+--------+") << "cut to the screen, nothing to centre";
}

}  // namespace
}  // namespace coredll
