// What the snapshot commands keep beside each snapshot file and what they do with the lot:
// the contents of its files, so that `snapshot restore` can put them back; listing,
// deleting and restoring snapshots.
//
// The contents of snapshot NAME live in "<device>/snapshots/.NAME.files/", one host file per
// distinct content, named "<crc>-<size>" (hexadecimal CRC-32, decimal size). A snapshot name
// never begins with '.', so no snapshot can be mistaken for a content folder. Links in the
// snapshots folder are never followed: a content file is made anew (never written through a
// link planted under its name) and read only when it is a plain file, and the folders
// themselves must not be links.
#pragma once

#include <string>

#include "device_snapshot.h"

namespace stowkit::device_tool {

// Keeps the contents of every readable file of `snapshot` (taken of the selected device) for
// snapshot `name`, replacing what an earlier snapshot of that name kept. False with a
// one-line reason in `error`.
bool SaveSnapshotContents(const std::string& device_folder, const std::string& name,
                          const Snapshot& snapshot, std::string& error);

// The commands; each returns the exit status.
int ListSnapshots(const std::string& device_folder);
int DeleteSnapshot(const std::string& device_folder, const std::string& name);
// Puts the device's files (contents, attributes, creation and write times), folders and
// registry back as snapshot `name` recorded them: what was added since is deleted, what
// was removed or changed is written again. Exit status 1, with each item named, when any
// item could not be put back.
int RestoreSnapshot(const std::string& device_folder, const std::string& name);

}  // namespace stowkit::device_tool
