#include "engine/default_log_path.h"

#include "engine/run_mode.h"
#include "package/vocabulary.h"
#include "services/file_services.h"
#include "text/format.h"

namespace stowkit {
namespace {

// A "LogDst" that expands to nothing (a device folder the platform does not know) would make
// a relative path, which no device can open: that log goes to the root as well.
std::u16string LogFolder(const Package& package, const MacroTable& macros) {
  std::u16string log_dst, folder;
  StringList unresolved;
  if (package.GetProperty(kLogDst, log_dst) && macros.Expand(log_dst, folder, unresolved) &&
      !folder.empty()) {
    return folder;
  }
  return u"\\";
}

}  // namespace

bool IsUsableApplicationName(std::u16string_view name) {
  return name.find_first_of(u"\\/") == std::u16string_view::npos;
}

std::u16string DefaultLogPath(const Package& package, std::u16string_view application,
                              int32_t mode, const MacroTable& macros) {
  if (mode == kModeFullRemove || mode == kModeMinorRemove) {
    return Format(u"\\Unstowkit_log_%s.txt", application);
  }
  return JoinPath(LogFolder(package, macros), Format(u"Stowkit_log_%s.txt", application));
}

}  // namespace stowkit
