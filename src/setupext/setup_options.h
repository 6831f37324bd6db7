// What the setup extension learns from the CAB installer that loaded it: the switches of
// that installer's command line, and the device's provisioning marker. Read afresh by each
// export that needs them.
#pragma once

#include <string>
#include <string_view>

namespace stowkit {

// The provisioning marker: a non-empty text here makes every install and removal silent.
inline constexpr std::u16string_view kProvisionKey = u"Software\\TalvenorClientProvision";
inline constexpr std::u16string_view kProvisionValue = u"ROOTC";

struct SetupOptions {
  bool silent = false;      // run the installer without its dialog
  bool delete_cab = true;   // the CAB goes once the installation is over
  std::u16string cab_path;  // the CAB being installed, when the command line names one
};

// The options a CAB installer command line gives. Tokens are read as text/tokenizer.h
// splits them; one leading '/' or '-' is dropped before a token is compared, ignoring case,
// with "noui" and "silent" (silent), "delete N" (N's leading decimal number 0, a missing N
// included, keeps the CAB), "nodelete", and "nouninstall", "askdest", "noaskdest" (no
// effect). Any other token, as written, that names an existing file or folder is the CAB
// path; a later one replaces an earlier one.
SetupOptions ParseSetupOptions(std::u16string_view command_line);

// ParseSetupOptions of this process's command line, made silent by a non-empty
// provisioning marker.
SetupOptions ReadSetupOptions();

}  // namespace stowkit
