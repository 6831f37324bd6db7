// The in-memory package and its reader.
//
// A package file is located from its end: the last 24 bytes are the header, which places
// the blob area, the catalog and the package descriptor before it, so a package may follow
// any prefix (an executable, for a self-contained installer). Integers are little-endian
// and unpacked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "coredll/windows.h"
#include "package/property_map.h"

namespace stowkit {

inline constexpr uint32_t kPackageSignature = 0x01D5C001;
inline constexpr size_t kHeaderSize = 24;
inline constexpr size_t kRecordSize = 22;  // a catalog record before its descriptor
inline constexpr uint8_t kPlatformKeepsHandle = 5;

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

// The 24 header bytes, and back.
void EncodeHeader(const PackageHeader& header, uint8_t out[kHeaderSize]);
PackageHeader DecodeHeader(const uint8_t bytes[kHeaderSize]);

class CatalogEntry {
 public:
  uint8_t EntryType() const { return type_; }
  void SetEntryType(uint8_t type) { type_ = type; }

  uint8_t TestEntryFlags(uint8_t mask) const { return entry_flags_ & mask; }
  void SetEntryFlags(uint8_t bits) { entry_flags_ |= bits; }
  void ClearEntryFlags(uint8_t bits) { entry_flags_ &= uint8_t(~bits); }
  uint8_t EntryFlags() const { return entry_flags_; }

  uint8_t TestTypeFlags(uint8_t mask) const { return type_flags_ & mask; }
  void SetTypeFlags(uint8_t bits) { type_flags_ |= bits; }
  uint8_t TypeFlags() const { return type_flags_; }

  uint32_t BlobOffset() const { return blob_offset_; }
  void SetBlobOffset(uint32_t value) { blob_offset_ = value; }
  uint32_t BlobLength() const { return blob_length_; }
  void SetBlobLength(uint32_t value) { blob_length_ = value; }
  uint32_t FinalSize() const { return final_size_; }
  void SetFinalSize(uint32_t value) { final_size_ = value; }
  uint32_t FinalCRC() const { return final_crc_; }
  void SetFinalCRC(uint32_t value) { final_crc_ = value; }
  uint16_t DescriptorLn() const { return descriptor_ln_; }
  void SetDescriptorLn(uint16_t value) { descriptor_ln_ = value; }

  const std::u16string& BlobFileName() const { return blob_file_name_; }
  void SetBlobFileName(std::u16string_view name) { blob_file_name_ = name; }
  // The file that holds the blob at BlobOffset; shared, never closed by the entry.
  HANDLE BlobFileHndl() const { return blob_file_; }
  void SetBlobFileHndl(HANDLE file) { blob_file_ = file; }

  PropertyMap& Properties() { return properties_; }
  const PropertyMap& Properties() const { return properties_; }
  bool GetProperty(uint8_t id, std::u16string& value) const {
    return properties_.GetProperty(id, value);
  }
  void SetProperty(uint8_t id, std::u16string_view value) { properties_.SetProperty(id, value); }

 private:
  uint8_t type_ = 0;
  uint8_t entry_flags_ = 0;
  uint8_t type_flags_ = 0;
  uint32_t blob_offset_ = 0;
  uint32_t blob_length_ = 0;
  uint32_t final_size_ = 0;
  uint32_t final_crc_ = 0;
  uint16_t descriptor_ln_ = 0;
  std::u16string blob_file_name_;
  HANDLE blob_file_ = INVALID_HANDLE_VALUE;
  PropertyMap properties_;
};

class Package {
 public:
  Package() = default;
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;
  // Closes the file unless the Platform byte is 5, which keeps it open.
  ~Package();

  const std::u16string& FileName() const { return file_name_; }
  void SetFileName(std::u16string_view name) { file_name_ = name; }
  HANDLE FileHandle() const { return file_; }
  void SetFileHandle(HANDLE file) { file_ = file; }

  PackageHeader& Header() { return header_; }
  const PackageHeader& Header() const { return header_; }
  uint8_t TestFlags(uint8_t mask) const { return header_.Flags & mask; }
  void SetFlags(uint8_t bits) { header_.Flags |= bits; }
  void ClearFlags(uint8_t bits) { header_.Flags &= uint8_t(~bits); }

  PropertyMap& Properties() { return properties_; }
  const PropertyMap& Properties() const { return properties_; }
  bool GetProperty(uint8_t id, std::u16string& value) const {
    return properties_.GetProperty(id, value);
  }
  void SetProperty(uint8_t id, std::u16string_view value) { properties_.SetProperty(id, value); }

  int NumEntries() const { return int(entries_.size()); }
  // The entry at `index`; a negative index gives the last one; nullptr past the end.
  CatalogEntry* GetEntry(int index) const;
  // Takes ownership; a negative index or one past the last appends.
  void InsertEntry(std::unique_ptr<CatalogEntry> entry, int index);
  // Destroys the entry at `index`; an index outside the list does nothing.
  void RemoveEntry(int index);

 private:
  std::u16string file_name_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  PackageHeader header_;
  PropertyMap properties_;
  std::vector<std::unique_ptr<CatalogEntry>> entries_;
};

// Opens and reads the package at `path` (shared read). On success `package` holds it, with
// the file open; on failure the code is returned with a message in `error_text`.
HRESULT OpenPackage(std::u16string& error_text, std::u16string_view path,
                    std::unique_ptr<Package>& package);

// A quick probe: the last 24 bytes of `file` start with the signature.
bool IsPackageFile(HANDLE file);

}  // namespace stowkit
