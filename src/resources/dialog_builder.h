// Builds in-memory dialog templates in the platform's binary layout, for the program's own
// dialogs and for tests: the header, menu/class/title and font, then items on 4-byte
// boundaries.
#pragma once

#include <cstring>
#include <string_view>
#include <variant>
#include <vector>

#include "coredll/windows.h"

namespace stowkit {

class DialogBuilder {
 public:
  // An ordinal (a class such as 0x0082, or a resource id as a title) or a text.
  using Name = std::variant<WORD, std::u16string_view>;

  DialogBuilder(DWORD style, short x, short y, short cx, short cy, std::u16string_view title) {
    PutDword(style);
    PutDword(0);
    words_.push_back(0);  // item count, raised by Add
    for (short v : {x, y, cx, cy}) words_.push_back(WORD(v));
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the dialog class
    PutText(title);
    if (style & DS_SETFONT) {
      words_.push_back(8);
      PutText(u"MS Sans Serif");
    }
  }

  DialogBuilder& Add(DWORD style, short x, short y, short cx, short cy, WORD id, Name window_class,
                     Name title) {
    if (words_.size() % 2) words_.push_back(0);
    PutDword(style);
    PutDword(0);
    for (short v : {x, y, cx, cy}) words_.push_back(WORD(v));
    words_.push_back(id);
    PutName(window_class);
    PutName(title);
    words_.push_back(0);  // no creation data
    ++words_[kCountWord];
    return *this;
  }

  // The words so far, for tests that spoil a template on purpose.
  std::vector<WORD>& words() { return words_; }

  const DLGTEMPLATE* Template() {
    storage_.assign((words_.size() + 1) / 2, 0);
    std::memcpy(storage_.data(), words_.data(), words_.size() * sizeof(WORD));
    return reinterpret_cast<const DLGTEMPLATE*>(storage_.data());
  }

 private:
  static constexpr size_t kCountWord = 4;

  void PutDword(DWORD v) {
    words_.push_back(WORD(v & 0xFFFF));
    words_.push_back(WORD(v >> 16));
  }
  void PutText(std::u16string_view text) {
    for (char16_t c : text) words_.push_back(WORD(c));
    words_.push_back(0);
  }
  void PutName(const Name& name) {
    if (const WORD* ordinal = std::get_if<WORD>(&name)) {
      words_.push_back(0xFFFF);
      words_.push_back(*ordinal);
    } else {
      PutText(std::get<std::u16string_view>(name));
    }
  }

  std::vector<WORD> words_;
  std::vector<uint32_t> storage_;  // 4-byte aligned, as the platform expects
};

}  // namespace stowkit
