// Properties of a package or of a catalog entry: one wide-string value per 8-bit id, in
// ascending id order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace stowkit {

class PropertyMap {
 public:
  using Map = std::map<uint8_t, std::u16string>;

  void Clear() { values_.clear(); }

  // True and the value copied into `value` when `id` is present; `value` untouched otherwise.
  bool GetProperty(uint8_t id, std::u16string& value) const;
  // The value of `id`, or nullptr.
  const std::u16string* Find(uint8_t id) const;
  // Inserts or replaces.
  void SetProperty(uint8_t id, std::u16string_view value) { values_[id] = std::u16string(value); }
  // The index-th property in id order; false when index < 0 or index >= count.
  bool GetPropertyAt(int index, uint8_t& id, std::u16string& value) const;
  size_t PropertyCount() const { return values_.size(); }

  Map::const_iterator begin() const { return values_.begin(); }
  Map::const_iterator end() const { return values_.end(); }

 private:
  Map values_;
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
