// The per-entry work of the install and removal stages. Each step walks the whole catalog
// once, in catalog order, and acts on the entry types it owns: the install steps on entries
// with "ShouldInstall", the removal steps on those that ShouldRemoveEntry picks in the
// engine's mode. Every path is macro-expanded just before use and stored back into its
// entry, so that the uninstall package written later holds final paths.
//
// A negative result stops the stage sequence; which failures stop a step, and which only
// report and go on, is told at each step.
#pragma once

#include "coredll/windows.h"

namespace stowkit {

class Engine;

// Install: Folder entries are created (a failure stops the step); RemoveFolder entries are
// deleted with their files (a failure is reported, the step goes on).
HRESULT CreateFolders(Engine& engine);
// Install: AppFile entries are written from their blobs, with attributes and times;
// RemoveFile entries are deleted. An unwritten file fails the step only at its end.
HRESULT ExtractFiles(Engine& engine);
// Install: AppFile entries with "SelfRegister" are registered.
HRESULT RegisterFiles(Engine& engine);
// Install: Shortcut entries are created; RemoveShortcut entries are deleted.
HRESULT CreateShortcuts(Engine& engine);
// Install: the Registry entries' texts are merged into the registry.
HRESULT MergeRegistry(Engine& engine);

// Removal (also the install's removal of unselected features).
HRESULT UnregisterFiles(Engine& engine);
HRESULT RemoveFiles(Engine& engine);
HRESULT RemoveRegistryValues(Engine& engine);
HRESULT RemoveShortcuts(Engine& engine);
HRESULT RemoveFolders(Engine& engine);

}  // namespace stowkit
