// unload: removes an application that a CAB installed, by its registered name.
#include "coredll/winmain.h"
#include "removal.h"
#include "stand_in.h"

int WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  using namespace stowkit::cab;
  std::vector<std::u16string> arguments = ProgramArguments();
  if (arguments.size() != 1) {
    ShowFailure(false, nullptr, u"unload: give the name of one application");
    return kExitUsage;
  }
  const std::u16string& app_name = arguments.front();
  HostWindow window(u"unload", (u"Removing " + app_name).c_str());
  switch (RemoveApplication(window.get(), app_name)) {
    case Removal::kRemoved:
      return kExitDone;
    case Removal::kCancelled:
      return kExitCancelled;
    case Removal::kNoSetupLibrary:
      ShowFailure(false, window.get(),
                  u"unload: the setup library of '" + app_name + u"' cannot be loaded");
      return kExitNoSetupLibrary;
    case Removal::kNotRegistered:
      break;
  }
  ShowFailure(false, window.get(), u"unload: no application '" + app_name + u"' is installed");
  return kExitNotRegistered;
}
