#include <dlfcn.h>

#include "cab_writer.h"

namespace stowkit::device_tool {
namespace {

// Found beside the platform library, through the program's library path.
constexpr char kModule[] = "libstowkit_cab_writer.so";

}  // namespace

bool WriteCab(const std::filesystem::path& output, const std::vector<CabMember>& members,
              std::string& why) {
  static void* module = dlopen(kModule, RTLD_NOW | RTLD_LOCAL);
  void* entry = module ? dlsym(module, "StowkitWriteCab") : nullptr;
  if (!entry) {
    const char* reason = dlerror();
    why = std::string("cannot load the CAB writer ") + kModule + (reason ? ": " + std::string(reason) : "");
    return false;
  }
  return reinterpret_cast<StowkitWriteCabFunction>(entry)(output, members, why);
}

}  // namespace stowkit::device_tool
