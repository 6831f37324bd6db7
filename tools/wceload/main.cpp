// wceload: the device's CAB installer, as far as a CAB with a setup library needs it.
#include "cab_install.h"
#include "coredll/winmain.h"
#include "stand_in.h"
#include "wceload_options.h"

int WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  using namespace stowkit::cab;
  WceloadOptions options;
  std::u16string reason;
  if (!ParseWceloadOptions(ProgramArguments(), options, reason)) {
    ShowFailure(options.silent, nullptr, u"wceload: " + reason);
    return kExitUsage;
  }
  return InstallCab(options);
}
