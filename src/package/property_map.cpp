#include "package/property_map.h"

#include <iterator>

#include "text/little_endian.h"

namespace stowkit {

bool PropertyMap::GetProperty(uint8_t id, std::u16string& value) const {
  const std::u16string* found = Find(id);
  if (found) value = *found;
  return found != nullptr;
}

const std::u16string* PropertyMap::Find(uint8_t id) const {
  auto it = values_.find(id);
  return it == values_.end() ? nullptr : &it->second;
}

bool PropertyMap::GetPropertyAt(int index, uint8_t& id, std::u16string& value) const {
  if (index < 0 || size_t(index) >= values_.size()) return false;
  auto it = std::next(values_.begin(), index);
  id = it->first;
  value = it->second;
  return true;
}

bool ParseDescriptor(const uint8_t* bytes, size_t length, PropertyMap& map) {
  map.Clear();
  size_t pos = 0;
  while (pos < length) {
    uint8_t id = bytes[pos++];
    std::u16string value;
    for (;;) {
      if (pos + 2 > length) return false;  // the value runs past the descriptor
      char16_t unit = char16_t(LoadLe16(bytes + pos));
      pos += 2;
      if (unit == 0) break;
      value += unit;
    }
    map.SetProperty(id, value);
  }
  return true;
}

std::string SerializeDescriptor(const PropertyMap& map, bool include_all) {
  std::string out;
  for (const auto& [id, value] : map) {
    if (!include_all && id >= 0x80) continue;
    out += char(id);
    for (char16_t unit : value) {
      uint8_t bytes[2];
      StoreLe16(bytes, unit);
      out.append(reinterpret_cast<const char*>(bytes), 2);
    }
    out.append(2, '\0');
  }
  return out;
}

}  // namespace stowkit
