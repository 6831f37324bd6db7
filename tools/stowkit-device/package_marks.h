// What a package leaves on a device on purpose once it is removed, read from the package on
// the device: the items of its "NoRemove" entries, the registry values its texts mark
// "NoRemove", and what the installer itself keeps (the uninstaller pair, the run logs and
// the product store's root key), so that `check` can tell them from leftovers.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "device_snapshot.h"

namespace stowkit::device_tool {

struct PackageMarks {
  std::u16string application;  // "AppName"
  uint32_t version = 0;        // the header's, as the product record keeps it
  uint8_t flags = 0;           // the header's package flags
  // Folded (UpperCase), for a lookup per item however many there are: the paths (expanded
  // as on this device) of the files, folders and shortcuts of entries flagged "NoRemove";
  // those paths and every folder above them.
  std::unordered_set<std::u16string> kept_paths, kept_folders;
  // Folded: key (from its root's full name) and name of every value that a "NoRemove"
  // Registry entry writes, or that a line with the removal rule "NoRemove" writes; those
  // keys and every key above them.
  std::set<std::pair<std::u16string, std::u16string>> kept_values;
  std::unordered_set<std::u16string> kept_keys;
  // The files the installer leaves: the package as pushed, the uninstaller pair, the logs.
  std::vector<std::u16string> installer_files;
};

// Reads the package at `device_path` with the selected device's folders for the macros.
// False with a one-line reason in `error`.
bool ReadPackageMarks(const std::u16string& device_path, PackageMarks& marks, std::string& error);

// How `check` sees an item that a package's whole life added to a fresh device or changed
// there.
enum class ItemVerdict {
  kInstallerArtefact,  // the installer leaves it after every removal
  kKept,               // the package marked it "NoRemove", or it holds what was marked
  kLeftover,           // nobody asked for it to stay
};
ItemVerdict Judge(const SnapshotItem& item, const std::vector<PackageMarks>& packages);

}  // namespace stowkit::device_tool
