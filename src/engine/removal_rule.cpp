#include "engine/removal_rule.h"

#include "engine/run_mode.h"
#include "package/vocabulary.h"

namespace stowkit {

bool ShouldRemoveEntry(int32_t mode, uint8_t entry_flags) {
  auto clear = [entry_flags](uint8_t bits) { return (entry_flags & bits) == 0; };
  switch (mode) {
    case kModeFullInstall:
      return clear(kEntryNoRemove | kKeepOnMinorRemove | kShouldInstall);
    case kModeFullRemove:
      return clear(kEntryNoRemove);
    case kModeMinorRemove:
      return clear(kEntryNoRemove | kKeepOnMinorRemove);
    default:
      return false;
  }
}

}  // namespace stowkit
