// Which catalog entries a removal step takes, in every removal step of both sequences.
#pragma once

#include <cstdint>

namespace stowkit {

// From the run mode and the entry's EntryFlags:
//  - full install: entries the selection dropped ("ShouldInstall" clear) that carry neither
//    "NoRemove" nor the minor-removal keep bit, so what an earlier install left for a now
//    deselected feature goes;
//  - patch install: none;
//  - full removal: every entry without "NoRemove";
//  - minor removal: every entry with neither "NoRemove" nor the keep bit.
// Any other mode removes nothing.
bool ShouldRemoveEntry(int32_t mode, uint8_t entry_flags);

}  // namespace stowkit
