// Turning an entry's blob into a file. Blobs are streamed through fixed 16 KiB buffers and
// checked against their CRC-32; a destination that extraction created either ends up with
// the complete, verified content or is deleted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "package/package.h"
#include "package/vocabulary.h"

namespace stowkit {

// Inflates (BlobCompressed) or copies the entry's blob from its BlobSource. No message.
// `disposition` as CreateFileW's: CREATE_NEW leaves a file that is there as it is and fails
// with ERROR_FILE_EXISTS.
HRESULT ExtractEntryBlob(const CatalogEntry& entry, std::u16string_view destination,
                         DWORD disposition = CREATE_ALWAYS);

// A blob read past the end of its file (a package cut short) fails with kEndOfFile; a CRC
// that differs fails with kCrcMismatch.
HRESULT ExtractStoredBlob(HANDLE package, std::u16string_view destination, uint32_t offset,
                          uint32_t length, uint32_t expected_crc);

// Raw deflate. A corrupt stream fails with kGenericFailure. Bytes after the end of the
// stream are not inflated: the content ends with the stream, and the CRC decides.
HRESULT ExtractCompressedBlob(HANDLE package, std::u16string_view destination, uint32_t offset,
                              uint32_t length, uint32_t expected_crc);

// Appends the entry's content to `target` (created when absent) through the temporary file
// `temporary`, which is always removed afterwards.
HRESULT AppendEntryBlob(const CatalogEntry& entry, std::u16string_view temporary,
                        std::u16string_view target);

// The entry's content in memory, checked against its CRC as extraction checks it; for tools
// that read registry texts and libraries without writing them anywhere. Content longer
// than `limit` bytes fails with HResultFromError(ERROR_FILE_TOO_LARGE) as soon as it passes
// the limit, so a small blob that inflates without end cannot exhaust memory.
HRESULT ReadEntryContent(const CatalogEntry& entry, std::string& content, uint32_t limit);

// Content whose size is not the entry's FinalSize (which extraction never looks at).
inline constexpr HRESULT kSizeMismatch = HRESULT(0x80070018);

// Streams the blob through inflate (or a plain copy) and the CRC without writing anything;
// the check behind `stowkit-pack verify`. Stricter than extraction, which trusts the CRC
// alone: a blob that reaches past the end of its file fails with kEndOfFile even when its
// deflate stream ends in time, a deflate stream that does not reach its end inside the blob
// fails with kGenericFailure, content that is not FinalSize bytes long with kSizeMismatch
// (inflating stops as soon as it passes FinalSize, so a few bytes that claim to be small
// and inflate without end cost no time), and an entry without a blob has empty content,
// so any FinalCRC but 0 fails with kCrcMismatch. `content_size`, when given, receives the
// bytes of content seen: past FinalSize, only as many as showed it to be too large.
HRESULT VerifyEntryBlob(const CatalogEntry& entry, uint64_t* content_size = nullptr);

}  // namespace stowkit
