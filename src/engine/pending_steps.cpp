// Catalog steps that are not built yet. Each visits no entries and succeeds, so a run goes
// through its whole stage sequence; each definition leaves this file when its step is built.
#include "engine/catalog_steps.h"
#include "engine/engine.h"

namespace stowkit {

// Waits for the folder steps.
HRESULT CreateFolders(Engine&) { return S_OK; }
HRESULT RemoveFolders(Engine&) { return S_OK; }
// Waits for the file steps.
HRESULT ExtractFiles(Engine&) { return S_OK; }
HRESULT RemoveFiles(Engine&) { return S_OK; }
// Waits for the self-registration steps.
HRESULT RegisterFiles(Engine&) { return S_OK; }
HRESULT UnregisterFiles(Engine&) { return S_OK; }
// Waits for the shortcut steps.
HRESULT CreateShortcuts(Engine&) { return S_OK; }
HRESULT RemoveShortcuts(Engine&) { return S_OK; }

}  // namespace stowkit
