// The CAB installer's command line:
//   wceload [/noui|/silent] [/delete N|/nodelete] [/askdest|/noaskdest] [/nouninstall] CABPATH
#pragma once

#include <string>
#include <vector>

namespace stowkit::cab {

struct WceloadOptions {
  bool silent = false;        // /noui, /silent: no boxes of its own
  bool delete_cab = true;     // /delete 0 and /nodelete keep the CAB
  bool uninstallable = true;  // /nouninstall: not recorded, so it cannot be removed
  std::u16string cab;         // the one argument that is not a switch
};

// Switches compare without case, with '/' or '-'. /delete takes a number (0 keeps the CAB,
// 1 and 2 delete it); /askdest and /noaskdest are accepted, as the install folder is always
// the CAB's own. False with a one-line reason for an unknown switch, a /delete without its
// number, no CAB path or more than one.
bool ParseWceloadOptions(const std::vector<std::u16string>& arguments, WceloadOptions& options,
                         std::u16string& reason);

}  // namespace stowkit::cab
