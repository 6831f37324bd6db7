#include "platform/screen/dialog_template.h"

#include <cstring>

#include "coredll/winerror.h"

#include "platform/windows/window_classes.h"

namespace coredll {
namespace {

constexpr WORD kOrdinalMark = 0xFFFF;
constexpr WORD kExtendedSignature = 0xFFFF;  // second word of the extended form

// Reads 16-bit words from the template; each read notes when something was malformed.
class WordReader {
 public:
  explicit WordReader(const void* at) : at_(static_cast<const BYTE*>(at)) {}

  WORD Word() {
    WORD w;
    std::memcpy(&w, at_, sizeof w);
    at_ += sizeof w;
    return w;
  }

  // A 0-terminated string, at most kMaxTemplateText long.
  std::u16string Text() {
    std::u16string text;
    for (WORD w; (w = Word()) != 0;) {
      if (text.size() == kMaxTemplateText) {
        bad_ = true;
        return {};
      }
      text += char16_t(w);
    }
    return text;
  }

  // A string or an ordinal (0xFFFF and a word); 0 alone is an empty string.
  std::u16string TextOrOrdinal(WORD& ordinal) {
    ordinal = 0;
    WORD first;
    std::memcpy(&first, at_, sizeof first);
    if (first != kOrdinalMark) return Text();
    Word();
    ordinal = Word();
    return {};
  }

  void AlignToDword(const void* base) {
    size_t offset = size_t(at_ - static_cast<const BYTE*>(base));
    at_ += (4 - offset % 4) % 4;
  }

  void Skip(size_t bytes) { at_ += bytes; }
  const BYTE* at() const { return at_; }
  bool bad() const { return bad_; }

 private:
  const BYTE* at_;
  bool bad_ = false;
};

bool ReadItem(WordReader& reader, const void* base, TemplateItem& item, DWORD& error) {
  reader.AlignToDword(base);
  DLGITEMTEMPLATE header;
  std::memcpy(&header, reader.at(), sizeof header);
  reader.Skip(sizeof header);
  item = TemplateItem();
  item.style = header.style;
  item.ex_style = header.dwExtendedStyle;
  item.x = header.x;
  item.y = header.y;
  item.width = header.cx;
  item.height = header.cy;
  item.id = header.id;
  WORD class_ordinal;
  item.class_name = reader.TextOrOrdinal(class_ordinal);
  if (class_ordinal) item.class_name = ClassOfOrdinal(class_ordinal);
  item.title = reader.TextOrOrdinal(item.title_ordinal);
  WORD extra = reader.Word();  // creation data, which no built-in control takes
  reader.Skip(extra);
  if (reader.bad()) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  if (item.class_name.empty()) {
    error = ERROR_CANNOT_FIND_WND_CLASS;
    return false;
  }
  return true;
}

}  // namespace

bool ReadDialogTemplate(const DLGTEMPLATE* source, DialogTemplate& out, DWORD& error) {
  error = ERROR_INVALID_PARAMETER;
  if (!source) return false;
  WordReader reader(source);
  reader.Word();
  if (reader.Word() == kExtendedSignature) return false;
  DLGTEMPLATE header;
  std::memcpy(&header, source, sizeof header);
  reader = WordReader(reinterpret_cast<const BYTE*>(source) + sizeof header);
  out = DialogTemplate();
  out.style = header.style;
  out.ex_style = header.dwExtendedStyle;
  out.x = header.x;
  out.y = header.y;
  out.width = header.cx;
  out.height = header.cy;
  WORD menu_ordinal, class_ordinal, title_ordinal;
  reader.TextOrOrdinal(menu_ordinal);  // a menu bar is not drawn on the terminal
  std::u16string class_name = reader.TextOrOrdinal(class_ordinal);
  out.title = reader.TextOrOrdinal(title_ordinal);
  if (header.style & DS_SETFONT) {
    out.point_size = reader.Word();
    out.font = reader.Text();
  }
  if (reader.bad()) return false;
  if (class_ordinal || !class_name.empty()) {
    error = ERROR_NOT_SUPPORTED;  // dialogs are drawn by the dialog class alone
    return false;
  }
  out.items.resize(header.cdit);
  for (TemplateItem& item : out.items) {
    if (!ReadItem(reader, source, item, error)) return false;
  }
  return true;
}

}  // namespace coredll
