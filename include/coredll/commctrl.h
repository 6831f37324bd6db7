/* Common controls: the progress bar. Its class exists once InitCommonControlsEx has been
 * called with ICC_PROGRESS_CLASS, as on the handheld. */
#ifndef COREDLL_COMMCTRL_H
#define COREDLL_COMMCTRL_H

#include "coredll/winuser.h"

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x00000001u
#define ICC_TREEVIEW_CLASSES 0x00000002u
#define ICC_BAR_CLASSES 0x00000004u
#define ICC_TAB_CLASSES 0x00000008u
#define ICC_UPDOWN_CLASS 0x00000010u
#define ICC_PROGRESS_CLASS 0x00000020u

#define PROGRESS_CLASSW u"msctls_progress32"

/* A bar's range starts as 0..100 and its step as 10; positions are kept within the range. */
#define PBM_SETRANGE (WM_USER + 1)   /* lParam: MAKELPARAM(low, high); previous range back */
#define PBM_SETPOS (WM_USER + 2)     /* previous position back */
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6) /* wParam low, lParam high */
#define PBM_GETRANGE (WM_USER + 7)   /* wParam TRUE: the low end, else the high end */
#define PBM_GETPOS (WM_USER + 8)

COREDLL_BEGIN

/* FALSE with ERROR_INVALID_PARAMETER when dwSize is not the structure's size. */
COREDLL_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);

COREDLL_END

#endif
