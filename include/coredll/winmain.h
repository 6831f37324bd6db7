/* What a device program defines instead of main: link the coredll_winmain library and the
 * platform calls WinMain with the command line; its result is the 32-bit exit code. */
#ifndef COREDLL_WINMAIN_H
#define COREDLL_WINMAIN_H

#include "coredll/loader.h"

COREDLL_BEGIN
int WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show);
COREDLL_END

#endif
