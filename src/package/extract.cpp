#include "package/extract.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "package/file_io.h"
#include "services/file_services.h"
#include "services/hresult.h"

namespace stowkit {
namespace {

// Large, so that a big file costs few reads and writes; kept per thread and reused, so that
// the many small files of a package are not each given (and cleared) buffers of their own.
constexpr DWORD kReadSize = 64 * 1024;
constexpr DWORD kWriteSize = 256 * 1024;
constexpr DWORD kAppendBufferSize = 1024;

struct ExtractBuffers {
  std::vector<uint8_t> in = std::vector<uint8_t>(kReadSize);
  std::vector<uint8_t> out = std::vector<uint8_t>(kWriteSize);
};

ExtractBuffers& Buffers() {
  thread_local ExtractBuffers buffers;
  return buffers;
}

// Where extracted bytes go: a file, or nowhere when only checking.
using Sink = std::function<HRESULT(const uint8_t*, DWORD)>;

HRESULT CopyStored(ByteSource& package, uint32_t length, const Sink& sink, uint32_t& crc) {
  std::vector<uint8_t>& buffer = Buffers().out;
  for (uint32_t copied = 0; copied < length;) {
    DWORD got = 0;
    HRESULT hr = package.ReadSome(buffer.data(), std::min(length - copied, kWriteSize), got);
    if (FAILED(hr)) return hr;
    if (got == 0) return kEndOfFile;
    crc = uint32_t(crc32(crc, buffer.data(), got));
    if (FAILED(hr = sink(buffer.data(), got))) return hr;
    copied += got;
  }
  return S_OK;
}

// `ended`: the deflate stream reached its end block inside the blob.
HRESULT InflateStream(ByteSource& package, uint32_t length, const Sink& sink, uint32_t& crc,
                      bool& ended) {
  std::vector<uint8_t>& in = Buffers().in;
  std::vector<uint8_t>& out = Buffers().out;
  z_stream stream = {};
  stream.next_out = out.data();
  stream.avail_out = kWriteSize;
  if (inflateInit2(&stream, -15) != Z_OK) return kGenericFailure;
  uint32_t remaining = length;
  int last = Z_OK;
  HRESULT hr = S_OK;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      DWORD got = 0;
      if (FAILED(hr = package.ReadSome(in.data(), std::min(remaining, kReadSize), got))) break;
      if (got == 0) {  // the file ended early: the stream decides, then the CRC
        hr = last == Z_OK ? S_OK : kGenericFailure;
        break;
      }
      stream.next_in = in.data();
      stream.avail_in = got;
      remaining -= got;
    }
    // Flushes at the end of the stream too, so bytes after it can never keep the loop going.
    if (stream.avail_out == 0 || remaining == 0 || last == Z_STREAM_END) {
      DWORD filled = kWriteSize - stream.avail_out;
      crc = uint32_t(crc32(crc, out.data(), filled));
      if (FAILED(hr = sink(out.data(), filled))) break;
      if (last == Z_STREAM_END || last == Z_BUF_ERROR) break;
      stream.next_out = out.data();
      stream.avail_out = kWriteSize;
    }
    last = inflate(&stream, Z_NO_FLUSH);
    if (last != Z_OK && last != Z_STREAM_END && last != Z_BUF_ERROR) {
      hr = kGenericFailure;
      break;
    }
  }
  inflateEnd(&stream);
  ended = last == Z_STREAM_END;
  return hr;
}

HRESULT Inflate(ByteSource& package, uint32_t length, const Sink& sink, uint32_t& crc) {
  bool ended = false;
  return InflateStream(package, length, sink, crc, ended);
}

using Streamer = HRESULT (*)(ByteSource&, uint32_t, const Sink&, uint32_t&);

// An entry whose blob is in no package reads as an invalid handle does: every call fails
// with the platform's error.
ByteSource& SourceOf(const CatalogEntry& entry) {
  static FileSource none(INVALID_HANDLE_VALUE);
  return entry.BlobSource() ? *entry.BlobSource() : none;
}

// Creates the destination, streams the blob into it and checks the CRC; deletes the
// destination on any failure.
HRESULT ExtractTo(Streamer stream, ByteSource& package, std::u16string_view destination,
                  uint32_t offset, uint32_t length, uint32_t expected_crc,
                  DWORD disposition = CREATE_ALWAYS) {
  std::u16string path(destination);
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return LastErrorResult();
  uint32_t crc = 0;
  // An empty file has no blob at all, so no package handle either: nothing to read.
  HRESULT hr = length == 0 ? S_OK : package.SeekTo(offset);
  if (SUCCEEDED(hr) && length != 0) {
    hr = stream(package, length, [out](const uint8_t* bytes, DWORD size) {
      return WriteAll(out, bytes, size);
    }, crc);
  }
  if (SUCCEEDED(hr) && crc != expected_crc) hr = kCrcMismatch;
  CloseHandle(out);
  if (FAILED(hr)) DeleteFileW(path.c_str());
  return hr;
}

HRESULT AppendFile(HANDLE from, HANDLE to) {
  uint64_t size = 0;
  HRESULT hr = FileSize(from, size);
  if (SUCCEEDED(hr) && SetFilePointer(to, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != ERROR_SUCCESS) {
    hr = LastErrorResult();
  }
  uint8_t buffer[kAppendBufferSize];
  for (uint64_t count = 0; SUCCEEDED(hr) && count < size;) {
    DWORD got = 0;
    if (FAILED(hr = ReadSome(from, buffer, kAppendBufferSize, got))) break;
    if (got == 0) return kEndOfFile;
    hr = WriteAll(to, buffer, got);
    count += got;
  }
  return hr;
}

}  // namespace

HRESULT ExtractEntryBlob(const CatalogEntry& entry, std::u16string_view destination,
                         DWORD disposition) {
  Streamer stream = entry.TestEntryFlags(kBlobCompressed) ? Inflate : CopyStored;
  return ExtractTo(stream, SourceOf(entry), destination, entry.BlobOffset(), entry.BlobLength(),
                   entry.FinalCRC(), disposition);
}

HRESULT ExtractStoredBlob(HANDLE package, std::u16string_view destination, uint32_t offset,
                          uint32_t length, uint32_t expected_crc) {
  FileSource source(package);
  return ExtractTo(CopyStored, source, destination, offset, length, expected_crc);
}

HRESULT ExtractCompressedBlob(HANDLE package, std::u16string_view destination, uint32_t offset,
                              uint32_t length, uint32_t expected_crc) {
  FileSource source(package);
  return ExtractTo(Inflate, source, destination, offset, length, expected_crc);
}

HRESULT AppendEntryBlob(const CatalogEntry& entry, std::u16string_view temporary,
                        std::u16string_view target) {
  std::u16string temp_path(temporary), target_path(target);
  HRESULT hr = ExtractEntryBlob(entry, temp_path);
  if (SUCCEEDED(hr)) {
    HANDLE from = CreateFileW(temp_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE to = from == INVALID_HANDLE_VALUE
                    ? INVALID_HANDLE_VALUE
                    : CreateFileW(target_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    hr = to == INVALID_HANDLE_VALUE ? LastErrorResult() : AppendFile(from, to);
    if (to != INVALID_HANDLE_VALUE) CloseHandle(to);
    if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
  }
  ForceDeleteFile(temp_path);
  return hr;
}

HRESULT ReadEntryContent(const CatalogEntry& entry, std::string& content, uint32_t limit) {
  content.clear();
  if (entry.BlobLength() == 0) return entry.FinalCRC() == 0 ? S_OK : kCrcMismatch;
  ByteSource& source = SourceOf(entry);
  HRESULT hr = source.SeekTo(entry.BlobOffset());
  if (FAILED(hr)) return hr;
  Sink into_memory = [&content, limit](const uint8_t* bytes, DWORD size) {
    if (size > limit - content.size()) return HResultFromError(ERROR_FILE_TOO_LARGE);
    content.append(reinterpret_cast<const char*>(bytes), size);
    return S_OK;
  };
  uint32_t crc = 0;
  Streamer stream = entry.TestEntryFlags(kBlobCompressed) ? Inflate : CopyStored;
  hr = stream(source, entry.BlobLength(), into_memory, crc);
  if (SUCCEEDED(hr) && crc != entry.FinalCRC()) hr = kCrcMismatch;
  if (FAILED(hr)) content.clear();
  return hr;
}

HRESULT VerifyEntryBlob(const CatalogEntry& entry, uint64_t* content_size) {
  uint64_t size = 0;
  if (content_size) *content_size = 0;
  if (entry.BlobLength() == 0) {
    if (entry.FinalCRC() != 0) return kCrcMismatch;
    return entry.FinalSize() != 0 ? kSizeMismatch : S_OK;
  }
  ByteSource& source = SourceOf(entry);
  uint64_t file_size = 0;
  HRESULT hr = source.Size(file_size);
  if (FAILED(hr)) return hr;
  if (uint64_t(entry.BlobOffset()) + entry.BlobLength() > file_size) return kEndOfFile;
  if (FAILED(hr = source.SeekTo(entry.BlobOffset()))) return hr;
  uint32_t crc = 0;
  Sink counted = [&size, &entry](const uint8_t*, DWORD bytes) {
    size += bytes;
    return size > entry.FinalSize() ? kSizeMismatch : S_OK;
  };
  bool ended = true;
  hr = entry.TestEntryFlags(kBlobCompressed)
           ? InflateStream(source, entry.BlobLength(), counted, crc, ended)
           : CopyStored(source, entry.BlobLength(), counted, crc);
  if (content_size) *content_size = size;
  if (SUCCEEDED(hr) && size != entry.FinalSize()) hr = kSizeMismatch;
  if (SUCCEEDED(hr) && crc != entry.FinalCRC()) hr = kCrcMismatch;
  // Extraction lets the CRC judge a stream cut short; a check of the package file does not,
  // or a cleared final-block bit would pass unseen.
  return SUCCEEDED(hr) && !ended ? kGenericFailure : hr;
}

}  // namespace stowkit
