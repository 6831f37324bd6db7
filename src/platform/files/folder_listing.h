// Case-insensitive name lookups in a folder without listing the folder on every lookup.
//
// A folder is listed once and its names are then kept current from the kernel's change
// notification (inotify): every create, delete and rename in the folder, by any process,
// is queued before the call that made it returns, and each lookup first applies what was
// queued. A lookup therefore sees every change that finished before it, as a fresh listing
// would. Folders are known by their file system and inode, so a folder renamed or replaced
// is never mistaken for another: the caller names the folder by the lstat it just made.
// Per thread, like the path walk's known folders, so unlocked; a forked child starts
// without listings. Where notification is unavailable nothing is kept and the caller lists
// the folder itself.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

namespace coredll {

enum class Listed {
  kUnknown,  // no current listing could be had: the caller must look for itself
  kAbsent,   // no entry equals the name, ignoring case
  kFound,    // `found` holds the entry's host name
};

// Looks `name` up in the folder at host path `folder` whose lstat is `folder_st`. A found
// entry is the one spelled exactly as `name` when there is one, else the first listed
// that equals it ignoring case. `applied` says that FolderStamp applied the queue for the
// same lookup already, which spares reading it again.
Listed FindInFolder(const std::string& folder, const struct stat& folder_st,
                    std::u16string_view name, std::string& found, bool applied = false);

// A watched folder's count of the changes that could move a path through it: it changes
// whenever the folder loses, gains or swaps a subfolder by any delete or rename, is moved
// or deleted itself, or stops being watched.
struct WatchMark {
  int watch = -1;
  uint64_t count = 0;
};

// Applies every queued change and tells the epoch of the watches: while it stays the same,
// every WatchMark taken in it can be checked by MarksHold; it changes when the marks can
// no longer be trusted (the queue lost events or was given up). 0 when nothing can be
// known (no queue); never equal to an epoch taken before a fork.
uint64_t FolderStamp();

// Watches the folder at `folder` (lstat `folder_st`), listing it if it has no kept listing,
// and gives its mark; false when it cannot be watched.
bool WatchFolder(const std::string& folder, const struct stat& folder_st, WatchMark& mark);

// True when no folder of `marks` changed since its mark was taken, as of the queue that
// FolderStamp last applied: a folder reached through those folders alone still has the
// path it had. Only for marks taken in the current epoch.
bool MarksHold(const std::vector<WatchMark>& marks);

// True when the folder has a kept listing that, as last brought up to date, holds no entry
// spelled exactly `name`: the name is then most likely new, which FindInFolder answers at
// less cost than trying the name first. Only a hint; it decides nothing about the entry.
bool PreferListing(const struct stat& folder_st, std::u16string_view name);

}  // namespace coredll
