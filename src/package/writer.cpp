#include "package/writer.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "package/file_io.h"
#include "package/vocabulary.h"
#include "services/hresult.h"
#include "text/format.h"

namespace stowkit {
namespace {

constexpr DWORD kBufferSize = 16384;

// Opens a source for reading and takes its size and the output's position.
HRESULT OpenSource(std::u16string_view source, HANDLE output, HANDLE& file, BlobFields& blob) {
  blob = BlobFields{};
  std::u16string path(source);
  file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorResult();
  uint64_t size = 0;
  HRESULT hr = FileSize(file, size);
  if (SUCCEEDED(hr) && size > UINT32_MAX) hr = HResultFromError(ERROR_FILE_TOO_LARGE);
  if (SUCCEEDED(hr)) hr = CurrentPosition(output, blob.offset);
  blob.final_size = uint32_t(size);
  return hr;
}

HRESULT Deflate(HANDLE source, HANDLE output, BlobFields& blob) {
  std::vector<uint8_t> in(kBufferSize), out(kBufferSize);
  z_stream stream = {};
  stream.next_out = out.data();
  stream.avail_out = kBufferSize;
  if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return kGenericFailure;
  }
  uint32_t remaining = blob.final_size;
  int last = Z_OK, flush = Z_NO_FLUSH;
  HRESULT hr = S_OK;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      DWORD got = 0;
      if (FAILED(hr = ReadSome(source, in.data(), std::min(remaining, kBufferSize), got))) break;
      if (got == 0) {  // the source shrank while it was read
        hr = kEndOfFile;
        break;
      }
      blob.crc = uint32_t(crc32(blob.crc, in.data(), got));
      stream.next_in = in.data();
      stream.avail_in = got;
      remaining -= got;
    }
    if (stream.avail_out == 0 || remaining == 0) {
      DWORD filled = kBufferSize - stream.avail_out;
      if (FAILED(hr = WriteAll(output, out.data(), filled))) break;
      blob.length += filled;
      if (last == Z_STREAM_END) break;
      stream.next_out = out.data();
      stream.avail_out = kBufferSize;
      flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
    } else {
      flush = Z_NO_FLUSH;
    }
    last = deflate(&stream, flush);
    if (last != Z_OK && last != Z_STREAM_END) {
      hr = kGenericFailure;
      break;
    }
  }
  deflateEnd(&stream);
  return hr;
}

HRESULT Store(HANDLE source, HANDLE output, BlobFields& blob) {
  std::vector<uint8_t> buffer(kBufferSize);
  while (blob.length < blob.final_size) {
    DWORD got = 0;
    HRESULT hr = ReadSome(source, buffer.data(), std::min(blob.final_size - blob.length, kBufferSize), got);
    if (FAILED(hr)) return hr;
    if (got == 0) return kEndOfFile;
    blob.crc = uint32_t(crc32(blob.crc, buffer.data(), got));
    if (FAILED(hr = WriteAll(output, buffer.data(), got))) return hr;
    blob.length += got;
  }
  return S_OK;
}

HRESULT AddBlob(HRESULT (*add)(HANDLE, HANDLE, BlobFields&), std::u16string_view source,
                HANDLE output, BlobFields& blob) {
  HANDLE file = INVALID_HANDLE_VALUE;
  HRESULT hr = OpenSource(source, output, file, blob);
  if (SUCCEEDED(hr)) hr = add(file, output, blob);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return hr;
}

// The catalog goes out a block of many entries at a time, one write where each entry's record
// and descriptor took one each; a write that fails is put down to the piece it stopped in,
// so the error still names the entry.
class CatalogBlock {
 public:
  struct Piece {
    int entry = 0;
    bool descriptor = false;  // else the entry's record
  };

  explicit CatalogBlock(HANDLE output) : output_(output) {}

  // Appends `size` bytes of `piece`, writing the block first when they would not fit.
  HRESULT Add(Piece piece, const void* bytes, size_t size) {
    if (!bytes_.empty() && bytes_.size() + size > kBlockSize) {
      if (HRESULT hr = Flush(); FAILED(hr)) return hr;
    }
    const char* from = static_cast<const char*>(bytes);
    bytes_.insert(bytes_.end(), from, from + size);
    pieces_.push_back({piece, bytes_.size()});
    return S_OK;
  }

  HRESULT Flush() {
    if (bytes_.empty()) return S_OK;
    DWORD written = 0;
    HRESULT hr = WriteAll(output_, bytes_.data(), DWORD(bytes_.size()), written);
    if (FAILED(hr)) {
      auto stopped = std::find_if(pieces_.begin(), pieces_.end(),
                                  [&](const Placed& placed) { return placed.end > written; });
      failed_ = stopped == pieces_.end() ? pieces_.back().piece : stopped->piece;
      return hr;
    }
    bytes_.clear();
    pieces_.clear();
    return S_OK;
  }

  // The piece a failed write stopped in.
  Piece failed() const { return failed_; }

 private:
  static constexpr size_t kBlockSize = 64 * 1024;
  struct Placed {
    Piece piece;
    size_t end;  // in the block, after the piece's last byte
  };

  HANDLE output_;
  std::vector<char> bytes_;
  std::vector<Placed> pieces_;
  Piece failed_;
};

class Writer {
 public:
  Writer(Package& package, HANDLE output, std::u16string& error_text,
         const std::function<void(int, int)>& blob_written)
      : package_(package),
        output_(output),
        written_(std::make_shared<FileSource>(output)),
        error_text_(error_text),
        blob_written_(blob_written) {}

  HRESULT Write() {
    HRESULT hr = WriteBlobSection();
    if (SUCCEEDED(hr)) hr = WriteCatalog();
    if (SUCCEEDED(hr)) hr = WriteHeader();
    return hr;
  }

 private:
  HRESULT WriteBlobSection() {
    PackageHeader& header = package_.Header();
    HRESULT hr = CurrentPosition(output_, header.BlobOffset);
    if (FAILED(hr)) {
      error_text_ = Format(u"Seek error while writing blob section for package '%s': 0x%x",
                           package_.FileName(), hr);
      return hr;
    }
    header.BlobLen = 0;
    for (int i = 0; i < package_.NumEntries(); ++i) {
      if (FAILED(hr = WriteBlob(*package_.GetEntry(i)))) return hr;
      if (blob_written_) blob_written_(i + 1, package_.NumEntries());
    }
    return S_OK;
  }

  HRESULT WriteBlob(CatalogEntry& entry) {
    if (entry.TestEntryFlags(kIgnoreBlob)) {
      entry.SetBlobOffset(0);
      entry.SetBlobLength(0);
      entry.SetFinalSize(0);
      entry.SetFinalCRC(0);
      return S_OK;
    }
    HRESULT hr = S_OK;
    if (entry.BlobSource()) {
      uint32_t offset = 0;
      hr = CopyBlob(*entry.BlobSource(), output_, entry.BlobOffset(), entry.BlobLength(), offset);
      if (FAILED(hr)) {
        error_text_ = Format(u"Error copying blob from package '%s' to package '%s': 0x%x",
                             entry.BlobFileName(), package_.FileName(), hr);
        return hr;
      }
      entry.SetBlobOffset(offset);
      package_.Header().BlobLen += entry.BlobLength();
    } else if (!entry.BlobFileName().empty()) {
      bool compressed = entry.TestEntryFlags(kBlobCompressed);
      BlobFields blob;
      hr = compressed ? AddCompressedBlob(entry.BlobFileName(), output_, blob)
                      : AddStoredBlob(entry.BlobFileName(), output_, blob);
      if (FAILED(hr)) {
        error_text_ = Format(compressed ? u"Error adding compressed blob '%s' to package '%s': 0x%x"
                                        : u"Error adding uncompressed blob '%s' to package '%s': 0x%x",
                             entry.BlobFileName(), package_.FileName(), hr);
        return hr;
      }
      entry.SetBlobOffset(blob.offset);
      entry.SetBlobLength(blob.length);
      entry.SetFinalSize(blob.final_size);
      entry.SetFinalCRC(blob.crc);
      package_.Header().BlobLen += blob.length;
    }
    entry.SetBlobSource(written_);
    entry.SetBlobFileName(u"");
    return S_OK;
  }

  HRESULT WriteCatalog() {
    package_.Header().CatalogLen = 0;
    CatalogBlock block(output_);
    for (int i = 0; i < package_.NumEntries(); ++i) {
      CatalogEntry& entry = *package_.GetEntry(i);
      if (entry.EntryType() == kInstallExe) continue;
      std::string descriptor = SerializeDescriptor(entry.Properties(), false);
      if (descriptor.size() > UINT16_MAX) {
        error_text_ = Format(u"Descriptor of catalog entry at index %d is longer than 65535 bytes", i);
        return kDescriptorTooLong;
      }
      entry.SetDescriptorLn(uint16_t(descriptor.size()));
      uint8_t record[kRecordSize];
      EncodeRecord(entry.Record(), record);
      HRESULT hr = block.Add({i, false}, record, kRecordSize);
      if (SUCCEEDED(hr) && !descriptor.empty()) {
        hr = block.Add({i, true}, descriptor.data(), descriptor.size());
      }
      if (FAILED(hr)) return CatalogFailure(block, hr);
      package_.Header().CatalogLen += uint32_t(kRecordSize + descriptor.size());
    }
    HRESULT hr = block.Flush();
    return FAILED(hr) ? CatalogFailure(block, hr) : S_OK;
  }

  HRESULT CatalogFailure(const CatalogBlock& block, HRESULT hr) {
    CatalogBlock::Piece piece = block.failed();
    const char16_t* what = piece.descriptor
                               ? u"Error writing catalog entry descriptor at index %d: 0x%x"
                               : u"Error writing catalog entry at index %d: 0x%x";
    error_text_ = Format(what, piece.entry, hr);
    return hr;
  }

  HRESULT WriteHeader() {
    std::string descriptor = SerializeDescriptor(package_.Properties(), false);
    if (descriptor.size() > UINT16_MAX) {
      error_text_ = u"Package descriptor is longer than 65535 bytes";
      return kDescriptorTooLong;
    }
    PackageHeader& header = package_.Header();
    header.DescriptorLen = uint16_t(descriptor.size());
    HRESULT hr = S_OK;
    if (!descriptor.empty() && FAILED(hr = WriteAll(output_, descriptor.data(), DWORD(descriptor.size())))) {
      error_text_ = Format(u"Error writing package header descriptor: 0x%x", hr);
      return hr;
    }
    uint8_t bytes[kHeaderSize];
    EncodeHeader(header, bytes);
    if (FAILED(hr = WriteAll(output_, bytes, kHeaderSize))) {
      error_text_ = Format(u"Error writing package header: 0x%x", hr);
    }
    return hr;
  }

  Package& package_;
  HANDLE output_;
  // What the entries read their blobs from once they are written.
  std::shared_ptr<ByteSource> written_;
  std::u16string& error_text_;
  const std::function<void(int, int)>& blob_written_;
};

}  // namespace

namespace {

// A self-contained installer: the program's bytes go first, and every offset after them is
// counted from the start of the file.
HRESULT WritePrefix(std::u16string& error_text, std::u16string_view prefix, HANDLE output) {
  if (prefix.empty()) return S_OK;
  BlobFields copied;
  HRESULT hr = AddStoredBlob(prefix, output, copied);
  if (FAILED(hr)) error_text = Format(u"Error copying '%s' before the package: 0x%x", prefix, hr);
  return hr;
}

}  // namespace

HRESULT WritePackage(std::u16string& error_text, std::u16string_view path, Package& package,
                     std::u16string_view prefix, const std::function<void(int, int)>& blob_written) {
  HANDLE old_file = package.FileHandle();
  std::u16string name(path);
  package.SetFileName(u"");
  package.SetFileHandle(INVALID_HANDLE_VALUE);
  HANDLE output = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  HRESULT hr = S_OK;
  if (output == INVALID_HANDLE_VALUE) {
    // Nothing of ours is at `path`: a file that made the creation fail stays where it is.
    hr = LastErrorResult();
    error_text = Format(u"Error creating package file '%s': 0x%x", name, hr);
  } else {
    package.SetFileName(name);
    package.SetFileHandle(output);
    hr = WritePrefix(error_text, prefix, output);
    if (SUCCEEDED(hr)) hr = Writer(package, output, error_text, blob_written).Write();
    CloseHandle(output);
    if (FAILED(hr)) DeleteFileW(name.c_str());
  }
  package.SetFileHandle(INVALID_HANDLE_VALUE);
  if (FAILED(hr)) package.SetFileName(u"");
  if (old_file != INVALID_HANDLE_VALUE) CloseHandle(old_file);
  return hr;
}

HRESULT AddCompressedBlob(std::u16string_view source, HANDLE output, BlobFields& blob) {
  return AddBlob(Deflate, source, output, blob);
}

HRESULT AddStoredBlob(std::u16string_view source, HANDLE output, BlobFields& blob) {
  return AddBlob(Store, source, output, blob);
}

HRESULT CopyBlob(ByteSource& source, HANDLE output, uint32_t offset, uint32_t length,
                 uint32_t& new_offset) {
  HRESULT hr = source.SeekTo(offset);
  if (SUCCEEDED(hr)) hr = CurrentPosition(output, new_offset);
  std::vector<uint8_t> buffer(kBufferSize);
  for (uint32_t copied = 0; SUCCEEDED(hr) && copied < length;) {
    DWORD got = 0;
    if (FAILED(hr = source.ReadSome(buffer.data(), std::min(length - copied, kBufferSize), got))) break;
    if (got == 0) return kEndOfFile;  // the source package ends inside the blob
    hr = WriteAll(output, buffer.data(), got);
    copied += got;
  }
  return hr;
}

}  // namespace stowkit
