/* Everything device code needs of the platform, as one include. */
#ifndef COREDLL_WINDOWS_H
#define COREDLL_WINDOWS_H

#include "coredll/wintypes.h"
#include "coredll/winerror.h"
#include "coredll/fileapi.h"
#include "coredll/sysapi.h"
#include "coredll/winreg.h"
#include "coredll/loader.h"
#include "coredll/mapping.h"
#include "coredll/process.h"
#include "coredll/shellapi.h"
#include "coredll/winuser.h"
#include "coredll/commctrl.h"

#endif
