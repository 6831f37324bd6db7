/* The Pocket PC shell's dialog calls, entries of the built-in "aygshell.dll" reached through
 * GetProcAddressW (the library is present or absent as the device profile says).
 *
 * On the terminal a dialog's Done button is shown as "[ok]" at the right of its title bar;
 * full-screen sizing draws the dialog's frame across the terminal's width. There is no
 * input panel, so the input-panel flags change nothing. */
#ifndef COREDLL_AYGSHELL_H
#define COREDLL_AYGSHELL_H

#include "coredll/winuser.h"

typedef struct tagSHINITDLGINFO {
  DWORD dwMask;
  HWND hDlg;
  DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

#define SHIDIM_FLAGS 0x0001u

#define SHIDIF_DONEBUTTON 0x0001u
#define SHIDIF_SIZEDLG 0x0002u
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004u
#define SHIDIF_SIPDOWN 0x0008u
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010u
#define SHIDIF_EMPTYMENU 0x0020u

/* The dialog set-up is exported both by name and by ordinal. */
#define SHINITDIALOG_ORDINAL 56
/* The Done-button call is exported by ordinal: 1 shows the button, 2 hides it. */
#define SHDONEBUTTON_ORDINAL 69
#define SHDB_SHOW 1
#define SHDB_HIDE 2

/* Ordinal 56 (also "SHInitDialog"): FALSE with ERROR_INVALID_PARAMETER for a null record, a
 * mask without SHIDIM_FLAGS or a window that is not a dialog of this process. */
typedef BOOL (*PFN_SHInitDialog)(PSHINITDLGINFO info);
/* Ordinal 69 (also "SHDoneButton"): FALSE with ERROR_INVALID_PARAMETER as above or for an
 * unknown state. */
typedef BOOL (*PFN_SHDoneButton)(HWND dialog, DWORD state);

#endif
