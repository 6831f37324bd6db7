// The device program "stowkit.exe".
#include "coredll/windows.h"
#include "coredll/winmain.h"
#include "shell/program.h"

int WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  return int(stowkit::RunInstallerProgram(GetCommandLineW()));
}
