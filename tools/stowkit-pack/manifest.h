// The TOML manifest that `build` reads and `unpack` writes (docs/manifest.md):
//
//   [package]               flags, platform, version, [package.properties]
//   [[entry]]               type, flags, type_flags, source | final_size + final_crc,
//                           [entry.properties]
#pragma once

#include <string>
#include <vector>

#include "package/package.h"

namespace stowkit::pack_tool {

// Fills `package` (new, empty) from the manifest at `path`: header fields, properties and
// entries, each entry with a source naming its host file in BlobFileName. False with one
// line in `error` that names the file, the line, the entry and the field.
bool ReadManifest(const std::string& path, Package& package, std::string& error);

// The manifest of `package`; sources[i] is the manifest-relative file that holds entry i's
// content, "" for an entry without one. False with the reason in `error` when a value
// cannot be written as TOML text.
bool ManifestText(const Package& package, const std::vector<std::string>& sources,
                  std::string& text, std::string& error);

}  // namespace stowkit::pack_tool
