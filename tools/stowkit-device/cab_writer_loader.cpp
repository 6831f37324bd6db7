#include <dlfcn.h>

#include "cab_writer.h"

namespace stowkit::device_tool {
namespace {

// Named by its full path, as the build placed it: a bare name would be looked up through
// the library path of whoever calls dlopen, which a sanitizer's interceptor changes.
constexpr char kModule[] = STOWKIT_CAB_WRITER;

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
