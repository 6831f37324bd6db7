// The in-memory package and its reader.
//
// A package file is located from its end: the last 24 bytes are the header, which places
// the blob area, the catalog and the package descriptor before it, so a package may follow
// any prefix (an executable, for a self-contained installer). docs/package-format.md
// describes the layout; package/records.h codes its fixed-size parts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "coredll/windows.h"
#include "package/byte_source.h"
#include "package/property_map.h"
#include "package/records.h"

namespace stowkit {

inline constexpr uint8_t kPlatformKeepsHandle = 5;

class CatalogEntry {
 public:
  uint8_t EntryType() const { return record_.EntryType; }
  void SetEntryType(uint8_t type) { record_.EntryType = type; }

  uint8_t TestEntryFlags(uint8_t mask) const { return record_.EntryFlags & mask; }
  void SetEntryFlags(uint8_t bits) { record_.EntryFlags |= bits; }
  void ClearEntryFlags(uint8_t bits) { record_.EntryFlags &= uint8_t(~bits); }
  uint8_t EntryFlags() const { return record_.EntryFlags; }

  uint8_t TestTypeFlags(uint8_t mask) const { return record_.TypeFlags & mask; }
  void SetTypeFlags(uint8_t bits) { record_.TypeFlags |= bits; }
  uint8_t TypeFlags() const { return record_.TypeFlags; }

  uint32_t BlobOffset() const { return record_.BlobOffset; }
  void SetBlobOffset(uint32_t value) { record_.BlobOffset = value; }
  uint32_t BlobLength() const { return record_.BlobLength; }
  void SetBlobLength(uint32_t value) { record_.BlobLength = value; }
  uint32_t FinalSize() const { return record_.FinalSize; }
  void SetFinalSize(uint32_t value) { record_.FinalSize = value; }
  uint32_t FinalCRC() const { return record_.FinalCRC; }
  void SetFinalCRC(uint32_t value) { record_.FinalCRC = value; }
  uint16_t DescriptorLn() const { return record_.DescriptorLn; }
  void SetDescriptorLn(uint16_t value) { record_.DescriptorLn = value; }

  // The fields above as the catalog stores them.
  const CatalogRecord& Record() const { return record_; }
  void SetRecord(const CatalogRecord& record) { record_ = record; }

  const std::u16string& BlobFileName() const;
  void SetBlobFileName(std::u16string_view name);
  // The same name for many entries, held once: the reader gives every entry with a blob
  // its package's name.
  void ShareBlobFileName(std::shared_ptr<const std::u16string> name) { blob_file_name_ = std::move(name); }
  // Where the blob at BlobOffset is read from, shared with the other entries of its package
  // (and never closed by them); nullptr while the blob is in no package.
  ByteSource* BlobSource() const { return blob_source_.get(); }
  void SetBlobSource(std::shared_ptr<ByteSource> source) { blob_source_ = std::move(source); }
  // The file behind BlobSource; INVALID_HANDLE_VALUE without one or for bytes in memory.
  HANDLE BlobFileHndl() const { return blob_source_ ? blob_source_->File() : INVALID_HANDLE_VALUE; }

  PropertyMap& Properties() { return properties_; }
  const PropertyMap& Properties() const { return properties_; }
  bool GetProperty(uint8_t id, std::u16string& value) const {
    return properties_.GetProperty(id, value);
  }
  void SetProperty(uint8_t id, std::u16string_view value) { properties_.SetProperty(id, value); }

 private:
  // Kept small (64 bytes and the properties' one block): a package holds one entry per
  // catalog record, and a catalog may hold a million.
  CatalogRecord record_;
  std::shared_ptr<const std::u16string> blob_file_name_;  // nullptr for an empty name
  std::shared_ptr<ByteSource> blob_source_;
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

// Called with each entry as the reader makes it, in catalog order.
using EntrySink = std::function<void(std::unique_ptr<CatalogEntry>)>;

// OpenPackage for a reader that takes the entries one at a time and need not hold them all:
// with the same checks, messages and codes, every entry goes to `sink` instead of the
// package's list, which stays empty. A failure after some entries went to `sink` still
// gives no package.
HRESULT OpenPackage(std::u16string& error_text, std::u16string_view path,
                    std::unique_ptr<Package>& package, const EntrySink& sink);

// Reads the catalog of a package opened from a file once more, from its open handle, with
// the checks and messages of OpenPackage, handing the entries to `sink`.
HRESULT ReadCatalogAgain(std::u16string& error_text, Package& package, const EntrySink& sink);

// Reads a package from a copy of `bytes`, with the checks, messages and codes of OpenPackage
// reading a file of those bytes; `name` stands for the file name in both. The package holds
// no file: its entries read their blobs from the copy, which lives as long as they do.
HRESULT ReadPackageBytes(std::u16string& error_text, std::u16string_view name,
                         std::span<const uint8_t> bytes, std::unique_ptr<Package>& package);

// A quick probe: the last 24 bytes of `file` start with the signature.
bool IsPackageFile(HANDLE file);

}  // namespace stowkit
