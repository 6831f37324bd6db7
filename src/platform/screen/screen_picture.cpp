#include "platform/screen/screen_picture.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/device/device_state.h"
#include "platform/device/profile.h"
#include "platform/screen/box_buttons.h"
#include "platform/screen/icons.h"
#include "platform/screen/word_wrap.h"
#include "platform/windows/controls.h"
#include "text/fold.h"

namespace coredll {
namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Rgb {
  unsigned char r, g, b;
};

constexpr Rgb kDesktop{0x3a, 0x6e, 0xa5};
constexpr Rgb kFace{0xff, 0xff, 0xff};
constexpr Rgb kCaption{0x08, 0x24, 0x6b};
constexpr Rgb kCaptionText{0xff, 0xff, 0xff};
constexpr Rgb kText{0x00, 0x00, 0x00};
constexpr Rgb kEdge{0x00, 0x00, 0x00};
constexpr Rgb kBarFill{0x00, 0x5a, 0xc8};
constexpr Rgb kButtonFace{0xd8, 0xd8, 0xd8};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

class Picture {
 public:
  Picture(int width, int height) : width_(width), height_(height), rgb_(size_t(width * height) * 3) {}

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<unsigned char>& rgb() const { return rgb_; }

  void Blend(int x, int y, Rgb c, int alpha) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0) return;
    if (x < clip_.x || y < clip_.y || x >= clip_.x + clip_.width || y >= clip_.y + clip_.height) return;
    unsigned char* p = &rgb_[(size_t(y) * size_t(width_) + size_t(x)) * 3];
    alpha = std::min(alpha, 255);
    p[0] = (unsigned char)((c.r * alpha + p[0] * (255 - alpha)) / 255);
    p[1] = (unsigned char)((c.g * alpha + p[1] * (255 - alpha)) / 255);
    p[2] = (unsigned char)((c.b * alpha + p[2] * (255 - alpha)) / 255);
  }

  void Fill(Rect r, Rgb c) {
    for (int y = r.y; y < r.y + r.height; ++y) {
      for (int x = r.x; x < r.x + r.width; ++x) Blend(x, y, c, 255);
    }
  }

  void Outline(Rect r, Rgb c) {
    Fill({r.x, r.y, r.width, 1}, c);
    Fill({r.x, r.y + r.height - 1, r.width, 1}, c);
    Fill({r.x, r.y, 1, r.height}, c);
    Fill({r.x + r.width - 1, r.y, 1, r.height}, c);
  }

  // Drawing stays inside `r` until the returned value is dropped.
  Rect Clip(Rect r) { return std::exchange(clip_, r); }
  void Unclip(Rect saved) { clip_ = saved; }

 private:
  int width_, height_;
  std::vector<unsigned char> rgb_;
  Rect clip_{0, 0, 1 << 20, 1 << 20};
};

// The one font face of the process, at the pixel size of the screen being drawn.
class Font {
 public:
  bool Ready(int pixels) {
    if (!tried_) {
      tried_ = true;
      if (FT_Init_FreeType(&library_) == 0 && FT_New_Face(library_, kFontFile, 0, &face_) != 0) face_ = nullptr;
      if (!face_) std::fprintf(stderr, "screenshots: no font at %s; texts are not drawn\n", kFontFile);
    }
    if (!face_) return false;
    if (pixels != pixels_ && FT_Set_Pixel_Sizes(face_, 0, FT_UInt(pixels)) == 0) pixels_ = pixels;
    return true;
  }

  int LineHeight() const { return face_ ? int(face_->size->metrics.height >> 6) : 0; }
  int Ascent() const { return face_ ? int(face_->size->metrics.ascender >> 6) : 0; }

  int Advance(char32_t c) {
    if (!face_ || FT_Load_Char(face_, c, FT_LOAD_DEFAULT) != 0) return 0;
    return int(face_->glyph->advance.x >> 6);
  }

  int Width(const std::u32string& text) {
    int width = 0;
    for (char32_t c : text) width += Advance(c);
    return width;
  }

  // `text` with its baseline at y; returns the pen's end.
  int Draw(Picture& picture, int x, int y, const std::u32string& text, Rgb colour) {
    for (char32_t c : text) {
      if (!face_ || FT_Load_Char(face_, c, FT_LOAD_RENDER) != 0) continue;
      FT_GlyphSlot g = face_->glyph;
      const FT_Bitmap& b = g->bitmap;
      for (unsigned row = 0; row < b.rows; ++row) {
        for (unsigned column = 0; column < b.width; ++column) {
          int alpha = b.buffer[row * unsigned(b.pitch) + column];
          picture.Blend(x + g->bitmap_left + int(column), y - g->bitmap_top + int(row), colour, alpha);
        }
      }
      x += int(g->advance.x >> 6);
    }
    return x;
  }

 private:
  bool tried_ = false;
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  int pixels_ = 0;
};

std::u32string Code(std::u16string_view text) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    out += c;
  }
  return out;
}

// Lines no wider than `width` pixels: broken at line ends and blanks, long words cut.
std::vector<std::u32string> Wrap(Font& font, const std::u32string& text, int width) {
  return WrapWords(text, [&font, width](const std::u32string& line) { return font.Width(line) <= width; });
}

Rgb PaletteColour(char letter, bool& transparent) {
  transparent = false;
  switch (letter) {
    case 'k': return {0x00, 0x00, 0x00};
    case 'w': return {0xff, 0xff, 0xff};
    case 'd': return {0x60, 0x60, 0x60};
    case 'l': return {0xb0, 0xb0, 0xb0};
    case 'r': return {0xd0, 0x10, 0x10};
    case 'g': return {0x10, 0xa0, 0x20};
    case 'b': return {0x10, 0x40, 0xd0};
    case 'y': return {0xf0, 0xd0, 0x00};
    default: transparent = true; return {0, 0, 0};
  }
}

class Painter {
 public:
  Painter(Picture& picture, Font& font) : picture_(picture), font_(font) {
    // A handheld's dialog units: its system font makes about 1.5 pixels of a horizontal
    // unit and 1.6 of a vertical one on a 240 x 320 screen.
    sx_ = picture.width() / 160.0;
    sy_ = picture.height() / 200.0;
    text_ = font_.Ready(std::max(8, int(6.5 * sy_ + 0.5)));
    line_ = text_ ? font_.LineHeight() : 10;
    caption_ = line_ + 6;
  }

  void Dialog(const Window& dialog) {
    const DialogUnits& u = dialog.placement;
    Rect frame;
    if (dialog.dialog->full_width) {
      frame = {0, 0, picture_.width(), picture_.height()};
    } else {
      frame.width = std::min(picture_.width(), int(u.width * sx_ + 0.5) + 2);
      frame.height = std::min(picture_.height(), int(u.height * sy_ + 0.5) + caption_ + 2);
      if (dialog.style & DS_CENTER) {
        frame.x = (picture_.width() - frame.width) / 2;
        frame.y = (picture_.height() - frame.height) / 2;
      } else {
        frame.x = int(u.x * sx_);
        frame.y = int(u.y * sy_);
      }
    }
    Rect client = Chrome(frame, dialog.text, dialog.dialog->done_button);
    Rect saved = picture_.Clip(client);
    for (HWND child : dialog.children) {
      std::optional<Window> control = WindowCopy(child);
      if (!control || !control->visible()) continue;
      const DialogUnits& p = control->placement;
      Rect r{client.x + int(p.x * sx_), client.y + int(p.y * sy_), std::max(1, int(p.width * sx_)),
             std::max(1, int(p.height * sy_))};
      Control(*control, r);
    }
    picture_.Unclip(saved);
  }

  void Box(const Window& box) {
    std::u32string glyph = Code(MessageBoxIconGlyph(box.box->type));
    std::vector<int> buttons = ButtonsOf(box.box->type);
    Rect frame{8, 0, picture_.width() - 16, 0};
    int icon = glyph.empty() ? 0 : Width(glyph) + 6;
    int text_width = frame.width - 14 - icon;
    std::vector<std::u32string> lines = text_ ? Wrap(font_, Code(box.box->text), text_width)
                                              : std::vector<std::u32string>{};
    int button_height = line_ + 6;
    frame.height = caption_ + 8 + std::max(1, int(lines.size())) * line_ + 8 + button_height + 8;
    frame.height = std::min(frame.height, picture_.height());
    frame.y = (picture_.height() - frame.height) / 2;
    Rect client = Chrome(frame, box.text, false);
    Rect saved = picture_.Clip(client);
    int y = client.y + 6;
    if (!glyph.empty()) Text(client.x + 6, y, glyph, kText);
    for (const std::u32string& line : lines) {
      Text(client.x + 6 + icon, y, line, kText);
      y += line_;
    }
    int each = std::min(60, (client.width - 8) / std::max<int>(1, int(buttons.size())) - 4);
    int total = int(buttons.size()) * (each + 4) - 4;
    int x = client.x + (client.width - total) / 2;
    for (int id : buttons) {
      Button({x, client.y + client.height - button_height - 6, each, button_height},
             std::u16string(ButtonLabel(id)));
      x += each + 4;
    }
    picture_.Unclip(saved);
  }

 private:
  int Width(const std::u32string& text) { return text_ ? font_.Width(text) : 0; }

  // Text whose top is at y.
  void Text(int x, int y, const std::u32string& text, Rgb colour) {
    if (text_) font_.Draw(picture_, x, y + font_.Ascent(), text, colour);
  }

  // The frame and caption; the client area inside them.
  Rect Chrome(Rect frame, const std::u16string& title, bool done) {
    picture_.Fill(frame, kFace);
    picture_.Outline(frame, kEdge);
    Rect bar{frame.x + 1, frame.y + 1, frame.width - 2, caption_};
    picture_.Fill(bar, kCaption);
    Rect saved = picture_.Clip(bar);
    Text(bar.x + 4, bar.y + 3, Code(title), kCaptionText);
    if (done) {
      std::u32string ok = U"ok";
      int w = Width(ok) + 8;
      Rect button{bar.x + bar.width - w - 2, bar.y + 2, w, bar.height - 4};
      picture_.Fill(button, kCaption);
      picture_.Outline(button, kCaptionText);
      Text(button.x + 4, bar.y + 3, ok, kCaptionText);
    }
    picture_.Unclip(saved);
    return {frame.x + 1, bar.y + bar.height, frame.width - 2, frame.height - bar.height - 2};
  }

  void Button(Rect r, std::u16string label) {
    std::erase(label, u'&');
    picture_.Fill(r, kButtonFace);
    picture_.Outline(r, kEdge);
    std::u32string text = Code(label);
    Text(r.x + (r.width - Width(text)) / 2, r.y + (r.height - line_) / 2, text, kText);
  }

  void Icon(Rect r, const char* pixels) {
    int scale = std::max(1, std::min(r.width, r.height) / ICON_PIXELS);
    for (int y = 0; y < ICON_PIXELS; ++y) {
      for (int x = 0; x < ICON_PIXELS; ++x) {
        bool transparent;
        Rgb c = PaletteColour(pixels[y * ICON_PIXELS + x], transparent);
        if (!transparent) picture_.Fill({r.x + x * scale, r.y + y * scale, scale, scale}, c);
      }
    }
  }

  void Control(const Window& control, Rect r) {
    Rect saved = picture_.Clip(r);
    if (stowkit::EqualsNoCase(control.class_name, kProgressClass)) {
      picture_.Outline(r, kEdge);
      int span = control.bar.high - control.bar.low;
      int inner = r.width - 4;
      int filled = span > 0 ? int(int64_t(control.bar.position - control.bar.low) * inner / span) : 0;
      picture_.Fill({r.x + 2, r.y + 2, std::clamp(filled, 0, inner), r.height - 4}, kBarFill);
    } else if (stowkit::EqualsNoCase(control.class_name, u"button")) {
      Button(r, control.text);
    } else if ((control.style & SS_TYPEMASK) == SS_ICON) {
      if (const char* pixels = IconPixels(control.image)) {
        Icon(r, pixels);
      } else {
        Text(r.x, r.y, Code(IconGlyph(control.image)), kText);
      }
    } else {
      DWORD align = control.style & SS_TYPEMASK;
      int y = r.y;
      for (const std::u32string& line : text_ ? Wrap(font_, Code(control.text), r.width)
                                              : std::vector<std::u32string>{}) {
        int w = Width(line);
        int x = align == SS_CENTER ? r.x + (r.width - w) / 2 : align == SS_RIGHT ? r.x + r.width - w : r.x;
        Text(x, y, line, kText);
        y += line_;
      }
    }
    picture_.Unclip(saved);
  }

  Picture& picture_;
  Font& font_;
  double sx_, sy_;
  bool text_;
  int line_, caption_;
};

bool WritePng(FILE* file, const Picture& picture) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(picture.width()), png_uint_32(picture.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height(); ++y) {
    png_write_row(png, picture.rgb().data() + size_t(y) * size_t(picture.width()) * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// The next free NNNN.png of the folder, taken so that no other process can.
int TakeNextFile(const std::string& folder, int& number, std::string& path) {
  for (;; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "/%04d.png", number);
    path = folder + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
}

}  // namespace

bool PicturesWanted() {
  const char* folder = std::getenv("STOWKIT_SCREENSHOTS");
  return folder && *folder;
}

void TakePicture(const std::vector<Window>& shown) {
  static std::mutex mutex;
  static Font font;
  static std::vector<unsigned char> last;
  static int number = 1;
  static bool reported = false;
  std::lock_guard lock(mutex);
  if (!PicturesWanted() || shown.empty()) return;
  bool smartphone = Profile().platform_type == "Smartphone";
  Picture picture(smartphone ? 176 : 240, smartphone ? 220 : 320);
  picture.Fill({0, 0, picture.width(), picture.height()}, kDesktop);
  Painter painter(picture, font);
  for (const Window& w : shown) {
    if (w.box) painter.Box(w);
    else if (w.dialog) painter.Dialog(w);
  }
  if (picture.rgb() == last) return;
  std::string folder = std::getenv("STOWKIT_SCREENSHOTS");
  std::string path;
  int fd = TakeNextFile(folder, number, path);
  FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  bool written = file && WritePng(file, picture);
  if (file) written = std::fclose(file) == 0 && written;
  else if (fd >= 0) close(fd);
  if (written) {
    last = picture.rgb();
  } else if (!reported) {
    reported = true;  // one line is enough: the run itself goes on
    std::fprintf(stderr, "screenshots: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
  }
}

}  // namespace coredll
