// Taking what a CAB installed off the device again, through its setup library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "coredll/windows.h"
#include "setup_library.h"

namespace stowkit::cab {

// Uninstall_Init of `library`; unless it cancels, deletes `files` and the folders they leave
// empty inside `install_dir` (that folder included), then calls Uninstall_Exit. False when
// it cancelled: nothing is deleted then.
bool RemoveFiles(const SetupLibrary& library, HWND owner, std::u16string_view install_dir,
                 const std::vector<std::u16string>& files);

enum class Removal { kRemoved, kNotRegistered, kNoSetupLibrary, kCancelled };

// Removes a registered application with its kept setup library: RemoveFiles on what the
// registration lists, then the registration and the kept library go. Only kRemoved changes
// anything.
Removal RemoveApplication(HWND owner, std::u16string_view app_name);

}  // namespace stowkit::cab
