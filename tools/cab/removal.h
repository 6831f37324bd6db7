// Taking what a CAB installed off the device again, through its setup library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "coredll/windows.h"
#include "registration.h"
#include "setup_library.h"

namespace stowkit::cab {

// Uninstall_Init of `library`; unless it cancels, deletes `files` and the folders they leave
// empty inside `install_dir` (that folder included), then calls Uninstall_Exit. False when
// it cancelled: nothing is deleted then.
bool RemoveFiles(const SetupLibrary& library, HWND owner, std::u16string_view install_dir,
                 const std::vector<std::u16string>& files);

enum class Removal { kRemoved, kNotRegistered, kNoSetupLibrary, kCancelled };

// A registered application made ready for its removal: its registration read and its kept
// setup library loaded.
class RegisteredApplication {
 public:
  // False, with kNotRegistered or kNoSetupLibrary in `why`, when it cannot be removed.
  bool Open(std::u16string_view app_name, Removal& why);
  // RemoveFiles on what the registration lists, then the registration and the kept library
  // go. Only kRemoved changes anything; the other answer is kCancelled.
  Removal Remove(HWND owner);

 private:
  std::u16string app_name_;
  Registration registration_;
  SetupLibrary library_;
};

// Open, then Remove.
Removal RemoveApplication(HWND owner, std::u16string_view app_name);

}  // namespace stowkit::cab
