// The package's own code in a run: its support files and custom library, extracted into the
// work folder and loaded in the Initialize stage, and the hooks the stages call.
#pragma once

#include <cstdint>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

class Engine;

// Extracts every SupportFile and CustomDll entry, in catalog order, into the work folder:
// a support file under its "Dst" name, a custom library as "<tick count>_<name>" (the last
// one becomes the custom library path). Fails on an entry without a name and on a blob that
// cannot be written, with the error reported.
HRESULT ExtractSupportFiles(Engine& engine);
// Loads the custom library when the package has one; a failure is reported.
HRESULT LoadCustomLibrary(Engine& engine);
// Unloads the custom library, if loaded.
void UnloadCustomLibrary(Engine& engine);

// Calls the global hook `export_name` ("PkgCustomPreInstall", ...) with the host services.
// 1 when no library is loaded, 0 when it lacks the export, else the hook's result (followed
// by Refresh and an empty Detail).
HRESULT CallGlobalHook(Engine& engine, std::u16string_view export_name);

enum class FeatureHook { kPreInstall, kPostInstall, kPreRemove, kPostRemove };
// Calls "<feature>CustomPreInstall" (or one of the other three) as CallGlobalHook does; an
// empty feature name gives 1 without looking anything up.
HRESULT CallFeatureHook(Engine& engine, FeatureHook hook, std::u16string_view feature);

// Asks "PkgCustomFileInUse" about `path` (operation 0 overwrite, 1 delete). 0 when no
// library is loaded or it lacks the export.
int32_t CallFileInUseHook(Engine& engine, std::u16string_view path, uint32_t operation);

}  // namespace stowkit
