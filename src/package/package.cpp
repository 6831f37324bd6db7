#include "package/package.h"

#include <algorithm>
#include <new>

#include "package/file_io.h"
#include "services/hresult.h"
#include "text/format.h"

namespace stowkit {
namespace {

// What one reading works on: the package being filled and where its bytes come from.
struct Reading {
  Package& package;
  const std::shared_ptr<ByteSource>& source;
  std::u16string& error_text;
  const EntrySink* sink = nullptr;  // where the entries go; nullptr: the package's list
  // Where the entries read their blobs from; nullptr: `source`.
  std::shared_ptr<ByteSource> blobs = nullptr;
};

// The catalog is read a block at a time, so that a large one is never held whole beside
// the entries made of it; a catalog of one block is read as one read.
constexpr DWORD kCatalogBlock = 1u << 20;

// The records of a catalog, parsed as its blocks come in. Records or descriptors that run
// past the catalog, and values without their terminator, are refused rather than read past
// the buffer.
class CatalogParser {
 public:
  explicit CatalogParser(const Reading& reading)
      : reading_(reading), name_(std::make_shared<const std::u16string>(reading.package.FileName())) {}

  // Makes the entries of the records that lie whole in `bytes`, which begin at the first
  // record not yet parsed, and drops their bytes; at the end of the catalog, bytes left
  // over are a record cut short.
  HRESULT Parse(std::vector<uint8_t>& bytes, bool at_end) {
    size_t pos = 0;
    HRESULT hr = S_OK;
    while (pos < bytes.size() && (hr = ParseRecord(bytes.data() + pos, bytes.size() - pos, pos)) == S_OK) {
    }
    if (hr == S_FALSE && at_end) hr = Refuse();
    bytes.erase(bytes.begin(), bytes.begin() + ptrdiff_t(pos));
    return FAILED(hr) ? hr : S_OK;
  }

 private:
  // One record at `at`; `pos` moves past it. S_FALSE when `left` does not hold it whole.
  HRESULT ParseRecord(const uint8_t* at, size_t left, size_t& pos) {
    if (left < kRecordSize) return S_FALSE;
    CatalogRecord record = DecodeRecord(std::span<const uint8_t, kRecordSize>(at, kRecordSize));
    if (left - kRecordSize < record.DescriptorLn) return S_FALSE;
    auto entry = std::make_unique<CatalogEntry>();
    if (!ParseDescriptor(at + kRecordSize, record.DescriptorLn, entry->Properties())) return Refuse();
    entry->SetRecord(record);
    if (entry->BlobLength() != 0) {
      entry->SetBlobSource(reading_.blobs ? reading_.blobs : reading_.source);
      entry->ShareBlobFileName(name_);
    }
    pos += kRecordSize + record.DescriptorLn;
    parsed_ += kRecordSize + record.DescriptorLn;
    if (reading_.sink) {
      (*reading_.sink)(std::move(entry));
    } else {
      reading_.package.InsertEntry(std::move(entry), -1);
    }
    return S_OK;
  }

  // The record that starts `parsed_` bytes into the catalog.
  HRESULT Refuse() {
    reading_.error_text = Format(u"Invalid catalog entry at offset %lu for package '%s'",
                                 uint32_t(parsed_), reading_.package.FileName());
    return kInvalidData;
  }

  const Reading& reading_;
  std::shared_ptr<const std::u16string> name_;  // every entry with a blob names the package
  uint64_t parsed_ = 0;  // catalog bytes made into entries
};

HRESULT ReadHeader(const Reading& reading, uint64_t& size) {
  ByteSource& source = *reading.source;
  std::u16string& error_text = reading.error_text;
  const std::u16string& name = reading.package.FileName();
  HRESULT hr = source.Size(size);
  if (FAILED(hr)) {
    error_text = Format(u"Error getting file size for package '%s': 0x%x", name, hr);
    return hr;
  }
  hr = size < kHeaderSize ? HResultFromError(ERROR_NEGATIVE_SEEK) : source.SeekTo(size - kHeaderSize);
  if (FAILED(hr)) {
    error_text = Format(u"Error seeking to package header for package '%s': 0x%x", name, hr);
    return hr;
  }
  uint8_t bytes[kHeaderSize];
  if (FAILED(hr = ReadExact(source, bytes, kHeaderSize))) {
    error_text = Format(u"Error reading header for package '%s': 0x%x", name, hr);
    return hr;
  }
  PackageHeader& h = reading.package.Header() = DecodeHeader(bytes);
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
  if (FAILED(hr = source.SeekTo(uint32_t(h.BlobOffset + h.BlobLen + h.CatalogLen)))) {
    error_text = Format(u"Error seeking to package descriptor for package '%s': 0x%x", name, hr);
    return hr;
  }
  std::vector<uint8_t> descriptor(h.DescriptorLen);
  if (FAILED(hr = ReadExact(source, descriptor.data(), h.DescriptorLen))) {
    error_text = Format(u"Error reading package descriptor for package '%s': 0x%x", name, hr);
    return hr;
  }
  if (!ParseDescriptor(descriptor.data(), descriptor.size(), reading.package.Properties())) {
    error_text = Format(u"Invalid package descriptor for package '%s'", name);
    return kInvalidData;
  }
  return S_OK;
}

HRESULT ReadCatalog(const Reading& reading, uint64_t size) {
  const PackageHeader& h = reading.package.Header();
  const std::u16string& name = reading.package.FileName();
  uint32_t offset = h.BlobOffset + h.BlobLen;
  HRESULT hr = reading.source->SeekTo(offset);
  if (FAILED(hr)) {
    reading.error_text = Format(u"Error seeking to catalog offset %lu for package '%s': 0x%x",
                                offset, name, hr);
    return hr;
  }
  // A header that adds up only modulo 2^32 may claim a catalog of gigabytes in a small file.
  // The read can bring no more than the file holds after the offset, so no more is allocated;
  // when that is less than CatalogLen the read has come back short.
  DWORD held = DWORD(std::min<uint64_t>(h.CatalogLen, size > offset ? size - offset : 0));
  // Every block is read even after a record was refused: as when the catalog is read in
  // one go, a read that fails is what the reading reports.
  std::vector<uint8_t> pending;
  CatalogParser parser(reading);
  HRESULT parsed = S_OK;
  for (DWORD read = 0; SUCCEEDED(hr) && read < held;) {
    DWORD block = std::min(held - read, kCatalogBlock);
    size_t kept = pending.size();
    try {
      pending.resize(kept + block);
    } catch (const std::bad_alloc&) {
      return kOutOfMemory;
    }
    if (FAILED(hr = ReadExact(*reading.source, pending.data() + kept, block))) break;
    read += block;
    // A catalog cut short fails as a read; its records are not worth parsing.
    if (SUCCEEDED(parsed) && held == h.CatalogLen) {
      parsed = parser.Parse(pending, read == held);
    } else {
      pending.clear();
    }
  }
  if (SUCCEEDED(hr) && held != h.CatalogLen) hr = kEndOfFile;
  if (FAILED(hr)) {
    reading.error_text = Format(u"Error reading catalog data for package '%s': 0x%x", name, hr);
    return hr;
  }
  return parsed;
}

// Reads the header, the package descriptor and the catalog of `package` from `source`; the
// package's file name is set already, for the messages.
HRESULT ReadPackage(Package& package, const std::shared_ptr<ByteSource>& source,
                    std::u16string& error_text, const EntrySink* sink = nullptr,
                    std::shared_ptr<ByteSource> blobs = nullptr) {
  Reading reading{package, source, error_text, sink, std::move(blobs)};
  uint64_t size = 0;
  HRESULT hr = ReadHeader(reading, size);
  return SUCCEEDED(hr) ? ReadCatalog(reading, size) : hr;
}

}  // namespace

const std::u16string& CatalogEntry::BlobFileName() const {
  static const std::u16string kNone;
  return blob_file_name_ ? *blob_file_name_ : kNone;
}

void CatalogEntry::SetBlobFileName(std::u16string_view name) {
  blob_file_name_ = name.empty() ? nullptr : std::make_shared<const std::u16string>(name);
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

namespace {

HRESULT OpenInto(std::u16string& error_text, std::u16string_view path,
                 std::unique_ptr<Package>& package, const EntrySink* sink) {
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
  HRESULT hr = ReadPackage(*opened, std::make_shared<FileSource>(file), error_text, sink,
                           std::make_shared<ReadAheadSource>(file));
  if (FAILED(hr)) return hr;  // destroying `opened` releases the file
  package = std::move(opened);
  return S_OK;
}

}  // namespace

HRESULT OpenPackage(std::u16string& error_text, std::u16string_view path,
                    std::unique_ptr<Package>& package) {
  return OpenInto(error_text, path, package, nullptr);
}

HRESULT OpenPackage(std::u16string& error_text, std::u16string_view path,
                    std::unique_ptr<Package>& package, const EntrySink& sink) {
  return OpenInto(error_text, path, package, &sink);
}

HRESULT ReadCatalogAgain(std::u16string& error_text, Package& package, const EntrySink& sink) {
  uint64_t size = 0;
  auto source = std::make_shared<FileSource>(package.FileHandle());
  HRESULT hr = source->Size(size);
  if (FAILED(hr)) {
    error_text = Format(u"Error getting file size for package '%s': 0x%x", package.FileName(), hr);
    return hr;
  }
  return ReadCatalog(Reading{package, source, error_text, &sink,
                             std::make_shared<ReadAheadSource>(package.FileHandle())},
                     size);
}

HRESULT ReadPackageBytes(std::u16string& error_text, std::u16string_view name,
                         std::span<const uint8_t> bytes, std::unique_ptr<Package>& package) {
  auto read = std::make_unique<Package>();
  read->SetFileName(name);
  HRESULT hr = ReadPackage(*read, std::make_shared<MemorySource>(bytes), error_text);
  if (SUCCEEDED(hr)) package = std::move(read);
  return hr;
}

bool IsPackageFile(HANDLE file) {
  FileSource source(file);
  uint64_t size = 0;
  uint8_t bytes[kHeaderSize];
  return SUCCEEDED(source.Size(size)) && size >= kHeaderSize &&
         SUCCEEDED(source.SeekTo(size - kHeaderSize)) &&
         SUCCEEDED(ReadExact(source, bytes, kHeaderSize)) &&
         DecodeHeader(bytes).Signature == kPackageSignature;
}

}  // namespace stowkit
