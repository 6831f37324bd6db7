#include "platform/screen/screen_layout.h"

#include <algorithm>
#include <utility>

#include "platform/screen/box_buttons.h"
#include "platform/screen/word_wrap.h"

namespace coredll {
namespace {

constexpr int kCellWidth = 4;   // dialog units per column
constexpr int kCellHeight = 8;  // dialog units per row
constexpr int kBoxTextWidth = 50;
constexpr std::u16string_view kDoneButton = u"[ok]";

using Canvas = std::vector<std::u16string>;

// Lines of at most `width` characters: broken at line ends and blanks, long words cut.
std::vector<std::u16string> Wrap(std::u16string_view text, int width) {
  size_t most = size_t(std::max(width, 1));
  return WrapWords(std::u16string(text), [most](const std::u16string& line) { return line.size() <= most; });
}

void Put(Canvas& canvas, int row, int column, std::u16string_view text, int width) {
  if (row < 0 || row >= int(canvas.size()) || column < 0) return;
  std::u16string& line = canvas[size_t(row)];
  int room = std::min(width, int(line.size()) - column);
  for (int i = 0; i < room && i < int(text.size()); ++i) line[size_t(column + i)] = text[size_t(i)];
}

int Aligned(int width, int length, DWORD align) {
  if (align == SS_CENTER) return std::max(0, (width - length) / 2);
  if (align == SS_RIGHT) return std::max(0, width - length);
  return 0;
}

std::u16string Bar(const ScreenItem& item) {
  if (item.width < 3) return std::u16string(size_t(item.width), u'#');
  int inner = item.width - 2;
  int span = item.high - item.low;
  int filled = span > 0 ? int((int64_t(item.position - item.low) * inner + span / 2) / span) : 0;
  filled = std::clamp(filled, 0, inner);
  return u"[" + std::u16string(size_t(filled), u'#') + std::u16string(size_t(inner - filled), u'.') +
         u"]";
}

void Draw(Canvas& canvas, const ScreenItem& item) {
  switch (item.kind) {
    case ScreenItem::Kind::kText: {
      std::vector<std::u16string> lines = Wrap(item.text, item.width);
      for (int i = 0; i < item.height && i < int(lines.size()); ++i) {
        int at = Aligned(item.width, int(lines[size_t(i)].size()), item.align);
        Put(canvas, item.row + i, item.column + at, lines[size_t(i)], item.width - at);
      }
      break;
    }
    case ScreenItem::Kind::kButton: {
      std::u16string label = item.text;
      std::erase(label, u'&');
      label = u"[ " + label + u" ]";
      int at = Aligned(item.width, int(label.size()), SS_CENTER);
      Put(canvas, item.row, item.column + at, label, item.width - at);
      break;
    }
    case ScreenItem::Kind::kBar: Put(canvas, item.row, item.column, Bar(item), item.width); break;
    case ScreenItem::Kind::kLine: {
      int row = item.row;
      for (size_t start = 0; row < item.row + item.height; ++row) {
        size_t end = std::min(item.text.find(u'\n', start), item.text.size());
        std::u16string_view line = std::u16string_view(item.text).substr(start, end - start);
        int at = Aligned(item.width, int(line.size()), item.align);
        Put(canvas, row, item.column + at, line, item.width - at);
        if (end == item.text.size()) break;
        start = end + 1;
      }
      break;
    }
  }
}

std::u16string TopEdge(const ScreenWindow& window, int width) {
  Canvas edge{std::u16string(size_t(width), u'-')};
  int done = window.done_button ? int(kDoneButton.size()) : 0;
  if (done) Put(edge, 0, width - done - 1, kDoneButton, done);
  if (!window.title.empty()) {
    int room = width - 2 - (done ? done + 1 : 0);
    std::u16string title = u" " + window.title.substr(0, size_t(std::max(0, room - 2))) + u" ";
    Put(edge, 0, 1, title, room);
  }
  return u"+" + edge[0] + u"+";
}

// A window's lines with its frame, cut to the screen's width; a centred one moved to the
// middle of it.
Canvas Frame(const ScreenWindow& window, int columns) {
  int width = std::clamp(window.width, 1, std::max(1, columns - 2));
  Canvas canvas(size_t(std::max(1, window.height)), std::u16string(size_t(width), u' '));
  for (const ScreenItem& item : window.items) Draw(canvas, item);
  std::u16string margin(window.centred ? size_t(std::max(0, (columns - width - 2) / 2)) : 0, u' ');
  Canvas frame;
  frame.push_back(margin + TopEdge(window, width));
  for (const std::u16string& row : canvas) frame.push_back(margin + u"|" + row + u"|");
  frame.push_back(margin + u"+" + std::u16string(size_t(width), u'-') + u"+");
  return frame;
}

std::u16string ButtonRow(const std::vector<int>& buttons) {
  std::u16string row;
  for (int id : buttons) {
    std::u16string_view label = ButtonLabel(id);
    if (!row.empty()) row += u"  ";
    row += u"[" + std::u16string(label.substr(0, 1)) + u"]" + std::u16string(label.substr(1));
  }
  return row;
}

}  // namespace

ScreenItem PlaceItem(int x, int y, int width, int height) {
  ScreenItem item;
  item.column = x / kCellWidth;
  item.row = y / kCellHeight;
  item.width = std::max(1, (x + width) / kCellWidth - item.column);
  item.height = std::max(1, (y + height) / kCellHeight - item.row);
  return item;
}

}  // namespace coredll

namespace coredll {

ScreenWindow MessageBoxScreen(const std::u16string& caption, const std::u16string& text,
                              const std::u16string& icon, const std::vector<int>& buttons,
                              int columns) {
  std::u16string button_row = ButtonRow(buttons);
  int icon_width = icon.empty() ? 0 : int(icon.size()) + 1;
  int longest = 1;
  for (const std::u16string& line : Wrap(text, kBoxTextWidth)) longest = std::max(longest, int(line.size()));
  int text_width = std::clamp(longest, 1, std::max(1, columns - 4 - icon_width));
  int text_rows = std::max(1, int(Wrap(text, text_width).size()));

  ScreenWindow box;
  box.title = caption;
  box.width = std::max({icon_width + text_width + 2, int(button_row.size()) + 2,
                        int(caption.size()) + 4});
  box.width = std::min(box.width, std::max(1, columns - 2));
  box.height = text_rows + 2;
  if (!icon.empty()) {
    box.items.push_back({ScreenItem::Kind::kLine, 1, 0, int(icon.size()), 1, icon});
  }
  box.items.push_back({ScreenItem::Kind::kText, 1 + icon_width, 0, text_width, text_rows, text});
  box.items.push_back({ScreenItem::Kind::kLine, 0, text_rows + 1, box.width, 1, button_row, SS_CENTER});
  return box;
}

std::vector<std::u16string> LayOut(const std::vector<ScreenWindow>& windows, int columns,
                                   int rows) {
  std::vector<Canvas> frames;
  for (const ScreenWindow& window : windows) frames.push_back(Frame(window, columns));
  // The rows each window needs from its top edge down: itself and everything below it.
  std::vector<int> below(frames.size() + 1, -1);
  for (size_t i = frames.size(); i-- > 0;) below[i] = int(frames[i].size()) + 1 + below[i + 1];

  std::vector<std::u16string> lines;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!lines.empty()) lines.emplace_back();
    if (windows[i].centred && rows > 0) {
      int middle = (rows - int(frames[i].size())) / 2;
      int top = std::min(middle, rows - below[i]);
      while (int(lines.size()) < top) lines.emplace_back();
    }
    lines.insert(lines.end(), frames[i].begin(), frames[i].end());
  }
  return lines;
}

}  // namespace coredll
