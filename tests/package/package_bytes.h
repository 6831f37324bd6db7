// Hand-made package bytes, laid out independently of the writer under test, so the reader
// and the dump are checked against the format itself.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace stowkit::testing {

inline void Put16(std::string& out, uint32_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}

inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

using Properties = std::vector<std::pair<uint8_t, std::u16string>>;

inline std::string Descriptor(const Properties& properties) {
  std::string out;
  for (const auto& [id, value] : properties) {
    out += char(id);
    for (char16_t c : value) Put16(out, c);
    Put16(out, 0);
  }
  return out;
}

inline uint32_t Crc(const std::string& content) {
  return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size())));
}

// `content` through one raw deflate stream that ends with `flush` (Z_FINISH: a whole stream).
inline std::string DeflateWith(const std::string& content, int level, int flush) {
  z_stream s = {};
  deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, uLong(content.size())) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  s.avail_in = uInt(content.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = uInt(out.size());
  deflate(&s, flush);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

inline std::string RawDeflate(const std::string& content, int level = 9) {
  return DeflateWith(content, level, Z_FINISH);
}

// A raw deflate stream of `mebibytes` MiB of zero bytes that is only about a thousandth of
// that: one MiB deflated from a fresh dictionary (so that it refers to nothing before it),
// repeated, then an empty final block. `crc` receives the CRC-32 of the whole content.
inline std::string ZerosDeflate(uint32_t mebibytes, uint32_t& crc) {
  std::string zeros(1u << 20, '\0');
  std::string piece = DeflateWith(zeros, 9, Z_FULL_FLUSH);
  uLong one = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), uInt(zeros.size()));
  std::string out;
  crc = 0;
  for (uint32_t i = 0; i < mebibytes; ++i) {
    out += piece;
    crc = uint32_t(crc32_combine(crc, one, z_off_t(zeros.size())));
  }
  return out + std::string("\x03\x00", 2);
}

struct EntryLayout {
  uint8_t type = 1;
  uint8_t entry_flags = 0;
  uint8_t type_flags = 0;
  std::string blob;         // stored bytes as they go into the file
  uint32_t final_size = 0;
  uint32_t crc = 0;
  Properties properties;
};

struct PackageLayout {
  std::string prefix;  // e.g. an executable before the package
  uint8_t flags = 0;
  uint8_t platform = 0;
  uint32_t version = 0;
  Properties properties;
  std::vector<EntryLayout> entries;
};

inline std::string BuildPackage(const PackageLayout& layout) {
  std::string out = layout.prefix, catalog;
  uint32_t blob_offset = uint32_t(layout.prefix.size());
  for (const EntryLayout& e : layout.entries) {
    uint32_t at = uint32_t(out.size());
    out += e.blob;
    std::string descriptor = Descriptor(e.properties);
    catalog += char(e.type);
    catalog += char(e.entry_flags);
    catalog += char(e.type_flags);
    catalog += '\0';
    Put32(catalog, e.blob.empty() ? 0 : at);
    Put32(catalog, uint32_t(e.blob.size()));
    Put32(catalog, e.final_size);
    Put32(catalog, e.crc);
    Put16(catalog, uint32_t(descriptor.size()));
    catalog += descriptor;
  }
  uint32_t blob_len = uint32_t(out.size()) - blob_offset;
  std::string descriptor = Descriptor(layout.properties);
  out += catalog;
  out += descriptor;
  Put32(out, 0x01D5C001);
  out += char(layout.flags);
  out += char(layout.platform);
  Put32(out, layout.version);
  Put32(out, blob_offset);
  Put32(out, blob_len);
  Put32(out, uint32_t(catalog.size()));
  Put16(out, uint32_t(descriptor.size()));
  return out;
}

// Where catalog record `index` (from 0) of the package `bytes` starts, found from its header.
inline size_t RecordAt(const std::string& bytes, int index) {
  auto get = [&bytes](size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
  };
  size_t at = bytes.size() - 24 - get(bytes.size() - 2, 2) - get(bytes.size() - 6, 4);
  for (int i = 0; i < index; ++i) at += 22 + get(at + 20, 2);
  return at;
}

// Sets the 32-bit field at `at` (BlobOffset is at RecordAt + 4, BlobLength at + 8).
inline void Set32(std::string& bytes, size_t at, uint32_t value) {
  std::string field;
  Put32(field, value);
  bytes.replace(at, 4, field);
}

// An entry of any type with its flags and properties, and no blob.
inline EntryLayout Entry(uint8_t type, uint8_t entry_flags, Properties properties,
                         uint8_t type_flags = 0) {
  EntryLayout e;
  e.type = type;
  e.entry_flags = entry_flags;
  e.type_flags = type_flags;
  e.properties = std::move(properties);
  return e;
}

// An AppFile entry whose blob is `content`, compressed or stored.
inline EntryLayout FileEntry(const std::string& content, bool compressed, const std::u16string& dst) {
  EntryLayout e;
  e.type = 1;
  e.entry_flags = compressed ? 0x05 : 0x04;
  e.blob = compressed ? RawDeflate(content) : content;
  e.final_size = uint32_t(content.size());
  e.crc = Crc(content);
  e.properties = {{1, dst}};
  return e;
}

// A Registry entry whose compressed blob is the registry text `text`.
inline EntryLayout RegistryText(const std::string& text) {
  EntryLayout e = FileEntry(text, true, u"");
  e.type = 4;
  e.properties.clear();
  return e;
}

}  // namespace stowkit::testing
