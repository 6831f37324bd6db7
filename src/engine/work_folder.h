// The run's private work folder, "PKG_<UTC time>" in the device's temporary folder, and the
// clean-up of folders that killed runs left behind.
//
// A run that is killed (a pulled battery, the task manager) never reaches its clean-up, so
// its folder would stay for ever. Each run therefore holds a lock file beside its folder,
// "<folder>.lock", open without sharing for as long as the folder exists: the lock is
// created before the folder and deleted after it, so a folder of ours always has one. A
// lock that can be opened has lost its owner, and the next run deletes its folder and it.
// A folder without a lock belongs to no run of ours and is left alone.
#pragma once

#include "coredll/windows.h"

namespace stowkit {

class Engine;

// Deletes the folders (and locks) of runs that no longer run, then creates the work folder
// and its lock: engine.work_folder and engine.work_folder_lock. A run started within the
// same second as another (the old version's uninstaller that this run starts) gets "_2",
// "_3", ... after the name, since each run deletes its own folder. The HRESULT of the
// platform error when no folder can be made.
HRESULT CreateWorkFolder(Engine& engine);

// Deletes the work folder with everything in it, then its lock; nothing when there is none.
void RemoveWorkFolder(Engine& engine);

}  // namespace stowkit
