// Properties of a package or of a catalog entry: one wide-string value per 8-bit id, in
// ascending id order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace stowkit {

// A package may hold a million entries, each with a map of one or two short values: the
// map is one block of code units (nothing at all when empty) rather than a node and a
// string per value. The block starts with its used length in units (two units, low
// first), then each property in id order as its id, its value's length (two units, low
// first) and the value. Lookups walk it; maps are short.
class PropertyMap {
 public:
  // Yields (id, value) pairs; the value views the map and lasts until the map changes.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::pair<uint8_t, std::u16string_view>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = value_type;

    const_iterator() = default;
    explicit const_iterator(const char16_t* at) : at_(at) {}
    value_type operator*() const;
    const_iterator& operator++();
    const_iterator operator++(int) {
      const_iterator was = *this;
      ++*this;
      return was;
    }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }

   private:
    const char16_t* at_ = nullptr;
  };

  PropertyMap() = default;
  PropertyMap(const PropertyMap& other);
  PropertyMap& operator=(const PropertyMap& other);
  PropertyMap(PropertyMap&&) noexcept = default;
  PropertyMap& operator=(PropertyMap&&) noexcept = default;

  void Clear() { units_.reset(); }

  // True and the value copied into `value` when `id` is present; `value` untouched otherwise.
  bool GetProperty(uint8_t id, std::u16string& value) const;
  // The value of `id`, viewing the map until it changes; nullopt when absent.
  std::optional<std::u16string_view> Find(uint8_t id) const;
  // Inserts or replaces.
  void SetProperty(uint8_t id, std::u16string_view value);
  // The index-th property in id order; false when index < 0 or index >= count.
  bool GetPropertyAt(int index, uint8_t& id, std::u16string& value) const;
  size_t PropertyCount() const;

  const_iterator begin() const { return const_iterator(units_ ? units_.get() + kLengthUnits : nullptr); }
  const_iterator end() const { return const_iterator(units_ ? units_.get() + kLengthUnits + Used() : nullptr); }


 private:
  static constexpr size_t kLengthUnits = 2;  // a 32-bit length in two code units
  static constexpr size_t kPropertyHead = 1 + kLengthUnits;

  static uint32_t LoadLength(const char16_t* at) { return uint32_t(at[0]) | uint32_t(at[1]) << 16; }
  static void StoreLength(char16_t* at, size_t length) {
    at[0] = char16_t(length & 0xFFFF);
    at[1] = char16_t(length >> 16);
  }
  size_t Used() const { return units_ ? LoadLength(units_.get()) : 0; }
  // The reader fills a map in one allocation when its descriptor is in id order.
  friend bool ParseDescriptor(const uint8_t* bytes, size_t length, PropertyMap& map);

  std::unique_ptr<char16_t[]> units_;
};

// Descriptor encoding: per property an id byte, then the value as UTF-16LE code units and a
// 0x0000 unit; no count, no alignment.

// Reads `length` bytes into `map` (cleared first; a later duplicate id wins). False when the
// bytes do not end exactly after a terminated value: a value whose 0x0000 is missing, or an
// odd byte left over. The map then holds what came before.
bool ParseDescriptor(const uint8_t* bytes, size_t length, PropertyMap& map);

// The encoding of `map` in id order; ids 0x80 and up only when `include_all`.
std::string SerializeDescriptor(const PropertyMap& map, bool include_all);

}  // namespace stowkit
