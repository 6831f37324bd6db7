// The one formatter for printf-style wide templates.
//
// Templates are data: the localized strings and the log texts carry them, and a translated
// template may be wrong. So arguments are typed values, never a va_list, and a bad template
// can only give odd text:
//  - directives: %s %c %d %i %u %x %X and %%, with the flags '-' and '0', a width, and the
//    length letters h, l (both as on the handheld: l is 32 bits) and ll (64 bits);
//  - a directive with no argument left is copied as written ("%s");
//  - a directive whose argument is of the other kind (text for %d, a number for %s) gives "(?)";
//  - an unknown directive is copied as written; a null text argument gives "(null)";
//  - widths are capped at kMaxFormatWidth.
// Numbers without ll are taken as 32-bit values, as DWORD and HRESULT are: "%x" of
// 0x80070057 is "80070057" whether it was passed signed or unsigned.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace stowkit {

inline constexpr int kMaxFormatWidth = 1024;

class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kText };

  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::kSigned), number_(static_cast<uint64_t>(int64_t{v})) {}
  template <typename T,
            std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::kUnsigned), number_(uint64_t{v}) {}
  FormatArg(const char16_t* text)
      : kind_(Kind::kText), text_(text ? std::u16string_view(text) : u"(null)") {}
  FormatArg(std::u16string_view text) : kind_(Kind::kText), text_(text) {}
  FormatArg(const std::u16string& text) : kind_(Kind::kText), text_(text) {}

  Kind kind() const { return kind_; }
  uint64_t number() const { return number_; }
  std::u16string_view text() const { return text_; }

 private:
  Kind kind_;
  uint64_t number_ = 0;
  std::u16string_view text_;
};

// Fills `tmpl` with `args` in order.
std::u16string FormatW(std::u16string_view tmpl, std::initializer_list<FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view tmpl, const Args&... args) {
  return FormatW(tmpl, {FormatArg(args)...});
}

}  // namespace stowkit
