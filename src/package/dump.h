// Readable text of a package: header, properties by name, every entry. Wide text with CR LF
// line ends; no side effects.
#pragma once

#include <string>

#include "package/package.h"

namespace stowkit {

enum class PropertyNames { kPackage, kEntry };

void DumpProperties(const PropertyMap& map, PropertyNames names, std::u16string& text);
void DumpEntry(const CatalogEntry& entry, std::u16string& text);
// The parts of DumpPackage, for a reader that writes the text out as it goes: the header
// with the package's properties and the number of its entries (which the reader may have
// counted without keeping them), and one entry under its number (`index` counts from 0).
void DumpPackageHeader(const Package& package, int num_entries, std::u16string& text);
void DumpNumberedEntry(const CatalogEntry& entry, int index, std::u16string& text);
void DumpPackage(const Package& package, std::u16string& text);

}  // namespace stowkit
