// Snapshots kept on the host: "<device>/snapshots/<NAME>", beside the device's file system
// so that a snapshot never sees itself, one line per item:
//
//   stowkit-snapshot 1
//   folder  PATH  ATTRIBUTES
//   file    PATH  ATTRIBUTES  SIZE  CRC  CREATED  WRITTEN
//   key     PATH
//   value   PATH  NAME  TYPE  DATA
//
// Fields are separated by tabs. Texts are UTF-8 with '%', tab, CR and LF written as %25,
// %09, %0D and %0A; ATTRIBUTES, CRC and TYPE are hexadecimal (CRC "-" when the file could
// not be read), SIZE and the FILETIME values decimal, DATA the value's bytes in hexadecimal.
#pragma once

#include <string>

#include "device_snapshot.h"

namespace stowkit::device_tool {

// The host path of snapshot `name` of the device in `device_folder`; false with a reason
// when `name` cannot name a file there (empty, or with a '/' or a leading '.').
bool SnapshotPath(const std::string& device_folder, const std::string& name, std::string& path,
                  std::string& error);

// Writes (replacing) or reads a snapshot file; false with a one-line reason in `error`.
bool SaveSnapshot(const Snapshot& snapshot, const std::string& path, std::string& error);
bool LoadSnapshot(const std::string& path, Snapshot& snapshot, std::string& error);

}  // namespace stowkit::device_tool
