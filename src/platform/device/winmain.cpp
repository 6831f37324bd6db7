// The entry of a device program: the handheld starts a program at WinMain with its command
// line, and the value WinMain returns becomes the process's 32-bit exit code. Device
// programs link this beside libcoredll.so.
#include "coredll/winmain.h"

#include "coredll/process.h"

int main() {
  HINSTANCE self = GetModuleHandleW(nullptr);
  ExitProcess(UINT(WinMain(self, nullptr, GetCommandLineW(), 0)));
}
