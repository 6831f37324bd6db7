#include "package/property_map.h"

#include <algorithm>
#include <vector>

#include "text/little_endian.h"

namespace stowkit {

PropertyMap::const_iterator::value_type PropertyMap::const_iterator::operator*() const {
  return {uint8_t(at_[0]), std::u16string_view(at_ + kPropertyHead, LoadLength(at_ + 1))};
}

PropertyMap::const_iterator& PropertyMap::const_iterator::operator++() {
  at_ += kPropertyHead + LoadLength(at_ + 1);
  return *this;
}

PropertyMap::PropertyMap(const PropertyMap& other) { *this = other; }

PropertyMap& PropertyMap::operator=(const PropertyMap& other) {
  if (this == &other) return *this;
  if (!other.units_) {
    units_.reset();
    return *this;
  }
  size_t size = kLengthUnits + other.Used();
  units_.reset(new char16_t[size]);
  std::copy_n(other.units_.get(), size, units_.get());
  return *this;
}

bool PropertyMap::GetProperty(uint8_t id, std::u16string& value) const {
  std::optional<std::u16string_view> found = Find(id);
  if (found) value = *found;
  return found.has_value();
}

std::optional<std::u16string_view> PropertyMap::Find(uint8_t id) const {
  for (const auto& [at_id, value] : *this) {
    if (at_id == id) return value;
    if (at_id > id) break;
  }
  return std::nullopt;
}

void PropertyMap::SetProperty(uint8_t id, std::u16string_view value) {
  // The block is rebuilt whole: before the property's place, the property, after it.
  size_t used = Used();
  const char16_t* first = units_ ? units_.get() + kLengthUnits : nullptr;
  const char16_t* place = first + used;  // the property's head, or where it goes
  const char16_t* rest = place;          // what follows it
  for (const auto& [at_id, at_value] : *this) {
    if (at_id < id) continue;
    place = at_value.data() - kPropertyHead;
    rest = at_id == id ? at_value.data() + at_value.size() : place;
    break;
  }
  size_t before = size_t(place - first), after = used - size_t(rest - first);
  size_t new_used = before + kPropertyHead + value.size() + after;
  std::unique_ptr<char16_t[]> units(new char16_t[kLengthUnits + new_used]);
  StoreLength(units.get(), new_used);
  char16_t* at = std::copy_n(first, before, units.get() + kLengthUnits);
  *at++ = char16_t(id);
  StoreLength(at, value.size());
  at = std::copy(value.begin(), value.end(), at + kLengthUnits);
  std::copy_n(rest, after, at);
  units_ = std::move(units);
}

bool PropertyMap::GetPropertyAt(int index, uint8_t& id, std::u16string& value) const {
  if (index < 0) return false;
  for (const auto& [at_id, at_value] : *this) {
    if (index-- == 0) {
      id = at_id;
      value = at_value;
      return true;
    }
  }
  return false;
}

size_t PropertyMap::PropertyCount() const { return size_t(std::distance(begin(), end())); }

namespace {

// Where one property lies in a descriptor: its id and its value's code units.
struct Span {
  uint8_t id;
  size_t start, units;
};

}  // namespace

bool ParseDescriptor(const uint8_t* bytes, size_t length, PropertyMap& map) {
  map.Clear();
  std::vector<Span> spans;
  bool complete = true, ascending = true;
  size_t pos = 0, units = 0;
  while (pos < length) {
    Span span{bytes[pos++], pos, 0};
    for (;;) {
      if (pos + 2 > length) break;  // the value runs past the descriptor
      pos += 2;
      if (LoadLe16(bytes + pos - 2) == 0) break;
      ++span.units;
    }
    if (pos - span.start != 2 * span.units + 2) {
      complete = false;
      break;
    }
    ascending = ascending && (spans.empty() || spans.back().id < span.id);
    units += span.units;
    spans.push_back(span);
  }
  auto value_of = [bytes](const Span& span, char16_t* out) {
    for (size_t i = 0; i < span.units; ++i) out[i] = char16_t(LoadLe16(bytes + span.start + 2 * i));
  };
  if (ascending && !spans.empty()) {
    size_t used = spans.size() * PropertyMap::kPropertyHead + units;
    map.units_.reset(new char16_t[PropertyMap::kLengthUnits + used]);
    PropertyMap::StoreLength(map.units_.get(), used);
    char16_t* at = map.units_.get() + PropertyMap::kLengthUnits;
    for (const Span& span : spans) {
      *at = char16_t(span.id);
      PropertyMap::StoreLength(at + 1, span.units);
      value_of(span, at + PropertyMap::kPropertyHead);
      at += PropertyMap::kPropertyHead + span.units;
    }
  } else {
    std::u16string value;
    for (const Span& span : spans) {
      value.resize(span.units);
      value_of(span, value.data());
      map.SetProperty(span.id, value);
    }
  }
  return complete;
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
