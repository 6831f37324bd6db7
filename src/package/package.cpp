#include "package/package.h"

#include <algorithm>
#include <new>

#include "package/file_io.h"
#include "services/hresult.h"
#include "text/format.h"

namespace stowkit {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// The records of a catalog. Records or descriptors that run past the catalog, and values
// without their terminator, are refused rather than read past the buffer.
HRESULT ParseCatalog(const std::vector<uint8_t>& catalog, Package& package,
                     std::u16string& error_text) {
  size_t pos = 0;
  while (pos < catalog.size()) {
    const uint8_t* record = catalog.data() + pos;
    bool fits = catalog.size() - pos >= kRecordSize &&
                catalog.size() - pos - kRecordSize >= Le16(record + 20);
    auto entry = std::make_unique<CatalogEntry>();
    if (!fits || !ParseDescriptor(record + kRecordSize, Le16(record + 20), entry->Properties())) {
      error_text = Format(u"Invalid catalog entry at offset %lu for package '%s'", uint32_t(pos),
                          package.FileName());
      return kInvalidData;
    }
    entry->SetEntryType(record[0]);
    entry->SetEntryFlags(record[1]);
    entry->SetTypeFlags(record[2]);
    entry->SetBlobOffset(Le32(record + 4));
    entry->SetBlobLength(Le32(record + 8));
    entry->SetFinalSize(Le32(record + 12));
    entry->SetFinalCRC(Le32(record + 16));
    entry->SetDescriptorLn(Le16(record + 20));
    if (entry->BlobLength() != 0) {
      entry->SetBlobFileHndl(package.FileHandle());
      entry->SetBlobFileName(package.FileName());
    }
    pos += kRecordSize + entry->DescriptorLn();
    package.InsertEntry(std::move(entry), -1);
  }
  return S_OK;
}

HRESULT ReadHeader(Package& package, uint64_t& size, std::u16string& error_text) {
  HANDLE file = package.FileHandle();
  const std::u16string& name = package.FileName();
  HRESULT hr = FileSize(file, size);
  if (FAILED(hr)) {
    error_text = Format(u"Error getting file size for package '%s': 0x%x", name, hr);
    return hr;
  }
  hr = size < kHeaderSize ? HResultFromError(ERROR_NEGATIVE_SEEK) : SeekTo(file, size - kHeaderSize);
  if (FAILED(hr)) {
    error_text = Format(u"Error seeking to package header for package '%s': 0x%x", name, hr);
    return hr;
  }
  uint8_t bytes[kHeaderSize];
  if (FAILED(hr = ReadExact(file, bytes, kHeaderSize))) {
    error_text = Format(u"Error reading header for package '%s': 0x%x", name, hr);
    return hr;
  }
  PackageHeader& h = package.Header() = DecodeHeader(bytes);
  if (h.Signature != kPackageSignature) {
    error_text = Format(u"Invalid header signature for package '%s'", name);
    return kInvalidData;
  }
  // The fields are 32-bit and so is the sum, as is a file size on the device: lengths that
  // add up only modulo 2^32 pass here, and the reads at the offsets they give find out
  // whether the file holds what they say.
  if (uint32_t(size) - h.BlobOffset - h.CatalogLen - h.DescriptorLen - uint32_t(kHeaderSize) !=
      h.BlobLen) {
    error_text = Format(u"Invalid header contents for package '%s'", name);
    return kInvalidData;
  }
  if (h.DescriptorLen == 0) return S_OK;
  if (FAILED(hr = SeekTo(file, uint32_t(h.BlobOffset + h.BlobLen + h.CatalogLen)))) {
    error_text = Format(u"Error seeking to package descriptor for package '%s': 0x%x", name, hr);
    return hr;
  }
  std::vector<uint8_t> descriptor(h.DescriptorLen);
  if (FAILED(hr = ReadExact(file, descriptor.data(), h.DescriptorLen))) {
    error_text = Format(u"Error reading package descriptor for package '%s': 0x%x", name, hr);
    return hr;
  }
  if (!ParseDescriptor(descriptor.data(), descriptor.size(), package.Properties())) {
    error_text = Format(u"Invalid package descriptor for package '%s'", name);
    return kInvalidData;
  }
  return S_OK;
}

HRESULT ReadCatalog(Package& package, uint64_t size, std::u16string& error_text) {
  const PackageHeader& h = package.Header();
  uint32_t offset = h.BlobOffset + h.BlobLen;
  HRESULT hr = SeekTo(package.FileHandle(), offset);
  if (FAILED(hr)) {
    error_text = Format(u"Error seeking to catalog offset %lu for package '%s': 0x%x", offset,
                        package.FileName(), hr);
    return hr;
  }
  // A header that adds up only modulo 2^32 may claim a catalog of gigabytes in a small file.
  // The read can bring no more than the file holds after the offset, so no more is allocated;
  // when that is less than CatalogLen the read has come back short.
  DWORD held = DWORD(std::min<uint64_t>(h.CatalogLen, size > offset ? size - offset : 0));
  std::vector<uint8_t> catalog;
  try {
    catalog.resize(held);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  hr = ReadExact(package.FileHandle(), catalog.data(), held);
  if (SUCCEEDED(hr) && held != h.CatalogLen) hr = kEndOfFile;
  if (FAILED(hr)) {
    error_text = Format(u"Error reading catalog data for package '%s': 0x%x", package.FileName(), hr);
    return hr;
  }
  return ParseCatalog(catalog, package, error_text);
}

}  // namespace

void EncodeHeader(const PackageHeader& h, uint8_t out[kHeaderSize]) {
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
  };
  put32(0, h.Signature);
  out[4] = h.Flags;
  out[5] = h.Platform;
  put32(6, h.Version);
  put32(10, h.BlobOffset);
  put32(14, h.BlobLen);
  put32(18, h.CatalogLen);
  out[22] = uint8_t(h.DescriptorLen);
  out[23] = uint8_t(h.DescriptorLen >> 8);
}

PackageHeader DecodeHeader(const uint8_t bytes[kHeaderSize]) {
  PackageHeader h;
  h.Signature = Le32(bytes);
  h.Flags = bytes[4];
  h.Platform = bytes[5];
  h.Version = Le32(bytes + 6);
  h.BlobOffset = Le32(bytes + 10);
  h.BlobLen = Le32(bytes + 14);
  h.CatalogLen = Le32(bytes + 18);
  h.DescriptorLen = Le16(bytes + 22);
  return h;
}

Package::~Package() {
  if (file_ != INVALID_HANDLE_VALUE && header_.Platform != kPlatformKeepsHandle) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

CatalogEntry* Package::GetEntry(int index) const {
  if (index < 0) return entries_.empty() ? nullptr : entries_.back().get();
  return size_t(index) < entries_.size() ? entries_[size_t(index)].get() : nullptr;
}

void Package::InsertEntry(std::unique_ptr<CatalogEntry> entry, int index) {
  if (index < 0 || size_t(index) >= entries_.size()) {
    entries_.push_back(std::move(entry));
  } else {
    entries_.insert(entries_.begin() + index, std::move(entry));
  }
}

void Package::RemoveEntry(int index) {
  if (index >= 0 && size_t(index) < entries_.size()) entries_.erase(entries_.begin() + index);
}

HRESULT OpenPackage(std::u16string& error_text, std::u16string_view path,
                    std::unique_ptr<Package>& package) {
  std::u16string name(path);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    HRESULT hr = LastErrorResult();
    error_text = Format(u"Error opening package '%s': 0x%x", name, hr);
    return hr;
  }
  auto opened = std::make_unique<Package>();
  opened->SetFileName(name);
  opened->SetFileHandle(file);
  uint64_t size = 0;
  HRESULT hr = ReadHeader(*opened, size, error_text);
  if (SUCCEEDED(hr)) hr = ReadCatalog(*opened, size, error_text);
  if (FAILED(hr)) return hr;  // destroying `opened` releases the file
  package = std::move(opened);
  return S_OK;
}

bool IsPackageFile(HANDLE file) {
  uint64_t size = 0;
  uint8_t bytes[kHeaderSize];
  return SUCCEEDED(FileSize(file, size)) && size >= kHeaderSize &&
         SUCCEEDED(SeekTo(file, size - kHeaderSize)) && SUCCEEDED(ReadExact(file, bytes, kHeaderSize)) &&
         Le32(bytes) == kPackageSignature;
}

}  // namespace stowkit
