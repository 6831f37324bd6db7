// Writing a CAB on the host with gcab. Kept apart from the device code: GLib's headers and
// the platform's define the same names. The writing itself lives in a module of its own,
// loaded on the first call, so that the other commands never load GLib.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace stowkit::device_tool {

struct CabMember {
  std::string name;              // its name in the CAB
  std::filesystem::path source;  // the host file it is read from, unless
  std::string bytes;             // it is given here (when `source` is empty)
};

// Writes every member into one MSZIP folder of the CAB `output`, replacing the file. False
// with GLib's reason in `why`, or the loader's when the module cannot be loaded.
bool WriteCab(const std::filesystem::path& output, const std::vector<CabMember>& members,
              std::string& why);

}  // namespace stowkit::device_tool

// The module's entry "StowkitWriteCab" (C linkage, so the loader finds it by that name): as
// WriteCab.
using StowkitWriteCabFunction = bool (*)(const std::filesystem::path& output,
                                         const std::vector<stowkit::device_tool::CabMember>& members,
                                         std::string& why);
