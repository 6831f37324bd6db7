// The package writer: a Package, opened and edited or built in memory, into a new file laid
// out as blob section, catalog, package descriptor, header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "package/package.h"

namespace stowkit {

// A descriptor longer than its 16-bit length field can say is refused with this code.
inline constexpr HRESULT kDescriptorTooLong = HRESULT(0x8007006F);  // ERROR_BUFFER_OVERFLOW

// Writes `package` to a new file at `path` (it must not exist). Afterwards the package names
// the new file (nothing after a failure) and holds no open handle; the file it was read from
// is closed, so extraction must be over. A failure after the file was created deletes it;
// a file already at `path` makes the creation fail and is left as it is.
// With a `prefix` file (a self-contained installer's program) its bytes come first and the
// package follows, so BlobOffset is the prefix's size. `blob_written`, when given, is
// called with the number of entries whose blobs are written and the number of entries, for
// a tool that shows how far a long write has come.
HRESULT WritePackage(std::u16string& error_text, std::u16string_view path, Package& package,
                     std::u16string_view prefix = {},
                     const std::function<void(int, int)>& blob_written = {});

struct BlobFields {
  uint32_t offset = 0;
  uint32_t length = 0;
  uint32_t final_size = 0;
  uint32_t crc = 0;
};

// Raw deflate (level 9) of the file at `source`, appended to `output`.
HRESULT AddCompressedBlob(std::u16string_view source, HANDLE output, BlobFields& blob);
// The file at `source` byte for byte, appended to `output`.
HRESULT AddStoredBlob(std::u16string_view source, HANDLE output, BlobFields& blob);
// `length` bytes of `source` from `offset`, unchanged, appended to `output`.
HRESULT CopyBlob(ByteSource& source, HANDLE output, uint32_t offset, uint32_t length,
                 uint32_t& new_offset);

}  // namespace stowkit
