// The two fixed-size records of a package file, each laid out here once for the reader and
// the writer: the header (the file's last 24 bytes) and the start of every catalog entry.
// docs/package-format.md describes the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace stowkit {

inline constexpr uint32_t kPackageSignature = 0x01D5C001;

inline constexpr size_t kHeaderSize = 24;

// Where each header field starts; integers are little-endian and unaligned.
namespace header_at {
inline constexpr size_t kSignature = 0;       // 4 bytes
inline constexpr size_t kFlags = 4;           // 1
inline constexpr size_t kPlatform = 5;        // 1
inline constexpr size_t kVersion = 6;         // 4
inline constexpr size_t kBlobOffset = 10;     // 4
inline constexpr size_t kBlobLen = 14;        // 4
inline constexpr size_t kCatalogLen = 18;     // 4
inline constexpr size_t kDescriptorLen = 22;  // 2
}  // namespace header_at

struct PackageHeader {
  uint32_t Signature = kPackageSignature;
  uint8_t Flags = 0;
  uint8_t Platform = 0;
  uint32_t Version = 0;
  uint32_t BlobOffset = 0;
  uint32_t BlobLen = 0;
  uint32_t CatalogLen = 0;
  uint16_t DescriptorLen = 0;
};

// The 24 header bytes, and back. Decoding checks nothing: the reader judges the fields.
void EncodeHeader(const PackageHeader& header, std::span<uint8_t, kHeaderSize> out);
PackageHeader DecodeHeader(std::span<const uint8_t, kHeaderSize> bytes);

// A catalog record before its descriptor, which follows it directly.
inline constexpr size_t kRecordSize = 22;

namespace record_at {
inline constexpr size_t kEntryType = 0;     // 1 byte
inline constexpr size_t kEntryFlags = 1;    // 1
inline constexpr size_t kTypeFlags = 2;     // 1
inline constexpr size_t kReserved = 3;      // 1, written 0, never read
inline constexpr size_t kBlobOffset = 4;    // 4
inline constexpr size_t kBlobLength = 8;    // 4
inline constexpr size_t kFinalSize = 12;    // 4
inline constexpr size_t kFinalCRC = 16;     // 4
inline constexpr size_t kDescriptorLn = 20; // 2
}  // namespace record_at

struct CatalogRecord {
  uint8_t EntryType = 0;
  uint8_t EntryFlags = 0;
  uint8_t TypeFlags = 0;
  uint32_t BlobOffset = 0;
  uint32_t BlobLength = 0;
  uint32_t FinalSize = 0;
  uint32_t FinalCRC = 0;
  uint16_t DescriptorLn = 0;
};

void EncodeRecord(const CatalogRecord& record, std::span<uint8_t, kRecordSize> out);
CatalogRecord DecodeRecord(std::span<const uint8_t, kRecordSize> bytes);

}  // namespace stowkit
