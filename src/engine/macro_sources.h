// Where the engine's macro definitions come from, and which source wins: each source is set
// over the ones before it, so the command line overrides the package, which overrides the
// device.
#pragma once

#include <string_view>

#include "engine/macro_table.h"
#include "package/package.h"

namespace stowkit {

// Sets, in this order:
//  1. SUPPORTDIR := `work_folder`;
//  2. LANG := "UserLanguage" and USERNAME := "UserName", each only when the package has the
//     property and the table does not define the macro yet;
//  3. the device folders (SetDeviceFolderMacros);
//  4. every MacroDefs entry in catalog order, each of its properties from id 0x30 up as a
//     "name = value" text;
//  5. every definition of `command_line` (the job's /D table), in its key order.
// Never fails.
void BuildMacroTable(MacroTable& table, std::u16string_view work_folder, const Package& package,
                     const MacroTable& command_line);

// PROGRAMFILES, WINDIR, STARTUP, MYDOCUMENTS, PROGRAMS, FAVORITES, STARTMENU and APPDATA from
// the platform's special folders. Where the platform gives no path: PROGRAMFILES falls back
// on the "TopDir" text under HKEY_LOCAL_MACHINE "ROvuz\Attachments" (rooted with "\"), then
// "\Program Files"; WINDIR on the folder of coredll.dll, then "\windows"; the others ask the
// platform once more to create the folder. A folder still unknown is defined as "".
void SetDeviceFolderMacros(MacroTable& table);

}  // namespace stowkit
