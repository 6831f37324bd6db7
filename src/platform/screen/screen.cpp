#include "platform/screen/screen.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/screen/box_buttons.h"
#include "platform/screen/icons.h"
#include "platform/screen/screen_layout.h"
#include "platform/screen/screen_picture.h"
#include "platform/windows/controls.h"
#include "platform/windows/window_table.h"
#include "text/fold.h"
#include "text/utf.h"

namespace coredll {
namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;
constexpr int kCellWidth = 4;
constexpr int kCellHeight = 8;

std::atomic<bool> changed{false};

int Columns() {
  struct winsize size = {};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col
                                                                         : kDefaultColumns;
}

// The rows a picture may take: every line ends with a line end, so the cursor needs the last
// row, and a picture that took it too would scroll its first line away.
int DrawingRows() {
  struct winsize size = {};
  int rows = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row
                                                                             : kDefaultRows;
  return rows - 1;
}

bool IsClass(const Window& w, std::u16string_view name) {
  return stowkit::EqualsNoCase(w.class_name, name);
}

ScreenItem Item(const Window& control) {
  const DialogUnits& p = control.placement;
  ScreenItem item = PlaceItem(p.x, p.y, p.width, p.height);
  item.text = control.text;
  if (IsClass(control, kProgressClass)) {
    item.kind = ScreenItem::Kind::kBar;
    item.low = control.bar.low;
    item.high = control.bar.high;
    item.position = control.bar.position;
  } else if (IsClass(control, u"button")) {
    item.kind = ScreenItem::Kind::kButton;
  } else if (IsClass(control, u"static") && (control.style & SS_TYPEMASK) == SS_ICON) {
    item.kind = ScreenItem::Kind::kLine;
    item.text = IconGlyph(control.image);
  } else if (IsClass(control, u"static")) {
    item.align = control.style & SS_TYPEMASK;
  }
  return item;
}

ScreenWindow DialogScreen(const Window& dialog) {
  ScreenWindow screen;
  screen.title = dialog.text;
  screen.width = dialog.placement.width / kCellWidth;
  screen.height = (dialog.placement.height + kCellHeight - 1) / kCellHeight;
  screen.done_button = dialog.dialog->done_button;
  screen.centred = dialog.style & DS_CENTER;
  for (HWND child : dialog.children) {
    std::optional<Window> control = WindowCopy(child);
    if (control && control->visible()) screen.items.push_back(Item(*control));
  }
  return screen;
}

ScreenWindow BoxScreen(const Window& box, int columns) {
  return MessageBoxScreen(box.text, box.box->text, MessageBoxIconGlyph(box.box->type),
                          ButtonsOf(box.box->type), columns);
}

void Write(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;  // the terminal went away; nothing is lost but the picture
    done += size_t(n);
  }
}

}  // namespace

bool HasTerminal() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

void MarkScreenChanged() { changed = true; }

void DrawIfChanged() {
  bool terminal = HasTerminal();
  if (!changed.exchange(false) || (!terminal && !PicturesWanted())) return;
  std::vector<Window> visible;
  for (Window& w : TopLevelWindows()) {
    if (w.visible() && (w.box || w.dialog)) visible.push_back(std::move(w));
  }
  TakePicture(visible);
  if (!terminal) return;
  int columns = Columns();
  std::vector<ScreenWindow> shown;
  for (const Window& w : visible) {
    if (w.box) shown.push_back(BoxScreen(w, columns));
    else shown.push_back(DialogScreen(w));
  }
  if (shown.empty()) return;
  std::string text = "\x1b[H\x1b[2J";
  for (const std::u16string& line : LayOut(shown, columns, DrawingRows())) {
    text += stowkit::Utf16ToUtf8(line) + "\r\n";
  }
  static std::mutex drawing;
  std::lock_guard lock(drawing);
  Write(text);
}

KeyInput::KeyInput() {
  if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
  struct termios raw = saved_;
  raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  restore_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

KeyInput::~KeyInput() {
  if (restore_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

int KeyInput::fd() const { return STDIN_FILENO; }

std::vector<std::string> KeyInput::Read() {
  char bytes[256];
  ssize_t n;
  while ((n = read(STDIN_FILENO, bytes, sizeof bytes)) < 0 && errno == EINTR) {}
  return n > 0 ? SplitKeys(std::string_view(bytes, size_t(n))) : std::vector<std::string>();
}

namespace {

// Where the escape sequence that starts at `start` ends: after its final byte for the
// control and function-key forms, after the one byte that follows for an Alt chord.
size_t EscapeEnd(std::string_view bytes, size_t start) {
  size_t at = start + 1;
  if (at == bytes.size() || bytes[at] == '\x1b') return at;  // a lone escape
  if (bytes[at] != '[' && bytes[at] != 'O') return at + 1;
  bool function_key = bytes[at] == 'O';
  ++at;
  if (function_key) return std::min(at + 1, bytes.size());
  // Parameter and intermediate bytes (0x20-0x3f) run up to the final byte.
  while (at < bytes.size() && uint8_t(bytes[at]) >= 0x20 && uint8_t(bytes[at]) < 0x40) ++at;
  return std::min(at + 1, bytes.size());
}

}  // namespace

std::vector<std::string> SplitKeys(std::string_view bytes) {
  std::vector<std::string> keys;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes[at] == '\x1b' ? EscapeEnd(bytes, at) : at + 1;
    keys.emplace_back(bytes.substr(at, end - at));
    at = end;
  }
  return keys;
}

}  // namespace coredll
