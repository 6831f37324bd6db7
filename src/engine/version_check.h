// The version check before an install: compares the package's version with the one the
// product record holds, and asks before an older version replaces a newer one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "coredll/windows.h"
#include "text/version.h"

namespace stowkit {

// Asks the user a Yes/No question in a message box owned by `owner`; true for Yes. The
// engine asks with MessageBoxW(owner, text, caption, kDowngradeQuestionStyle); tests hand in
// their own answer.
using AskYesNo =
    std::function<bool(HWND owner, std::u16string_view text, std::u16string_view caption)>;

// MB_YESNO | MB_ICONEXCLAMATION | MB_SETFOREGROUND: Yes and No, the exclamation icon, in front.
inline constexpr uint32_t kDowngradeQuestionStyle = 0x10034;

// What the check reads of the run; the engine fills it from its own fields.
struct VersionCheckRun {
  uint8_t package_flags = 0;        // the package header's Flags
  Version package_version = 0;      // the package header's Version
  std::u16string application_name;  // the product's name in the product state store
  std::u16string display_name;      // caption of the question, and named in the refusal
  bool silent = false;
  AskYesNo ask;
};

// Run only in the install modes. 1 (skipped) for a package with the "NoRemove" flag, which
// leaves no uninstaller behind to compare with. Otherwise reports both versions as a Debug
// line and, in a run that is not silent, asks (UI string 25, captioned with the display name,
// owned by the reporter's owner window) when the installed version is greater; a missing
// record reads as version 0. 0 to go on; when the user says No, `last_error_text` gets the
// refusal, which also goes out as Detail, and the result is 0x80004005.
HRESULT CheckVersion(const VersionCheckRun& run, std::u16string& last_error_text);

}  // namespace stowkit
