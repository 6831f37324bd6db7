/* Windows, message queues, dialogs and message boxes.
 *
 * Every thread has a message queue, made on its first use. Top-level windows are known
 * device-wide: their class, title, owning process and thread are listed in the device's
 * process table, so FindWindowW, GetWindow, EnumWindows and GetWindowThreadProcessId see
 * the windows of every device process, and PostMessageW reaches a window of another
 * process (HWND_BROADCAST: every top-level window of the device). A window handle is a
 * 32-bit number, unique on the device while its window lives: the owning process id times
 * 1024 plus a sequence number of that process, reused only after 1023 more windows.
 *
 * The screen is the terminal the program runs in (standard input and output both
 * terminals). Dialogs and message boxes are drawn there; there is no pointer, no painting
 * interface and no key message, so WM_PAINT and key messages never occur. Without a
 * terminal nothing is drawn and a message box takes a scripted answer (see MessageBoxW). */
#ifndef COREDLL_WINUSER_H
#define COREDLL_WINUSER_H

#include "coredll/loader.h"

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef WORD ATOM;
typedef void* HICON;
typedef void* HCURSOR;
typedef void* HBRUSH;
typedef void* HMENU;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
/* TRUE when the message was handled (a result then goes in DWLP_MSGRESULT). */
typedef INT_PTR (*DLGPROC)(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
typedef void (*TIMERPROC)(HWND window, UINT message, UINT_PTR id, DWORD tick);
typedef BOOL (*WNDENUMPROC)(HWND window, LPARAM lparam);

typedef struct _WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
} WNDCLASSW;

typedef struct tagCREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTW;

/* The binary dialog template: this header, then the menu, the class and the title (each a
 * 0-terminated string, or 0xFFFF and a 16-bit ordinal; menu and class 0 for none), with
 * DS_SETFONT the point size and the face name, then `cdit` items, each starting on a
 * 4-byte boundary: DLGITEMTEMPLATE, class (a name, or 0xFFFF and 0x0080 button, 0x0081
 * edit, 0x0082 static), title (text, or 0xFFFF and a resource id), and a 16-bit count
 * of creation bytes that follow. Positions and sizes are dialog units. */
#pragma pack(push, 2)
typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
} DLGTEMPLATE;

typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  short x;
  short y;
  short cx;
  short cy;
  WORD id;
} DLGITEMTEMPLATE;
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;

#define MAKELONG(low, high) ((LONG)(((WORD)(low)) | ((DWORD)((WORD)(high))) << 16))
#define LOWORD(value) ((WORD)(((uintptr_t)(value)) & 0xFFFF))
#define HIWORD(value) ((WORD)((((uintptr_t)(value)) >> 16) & 0xFFFF))
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)MAKELONG(low, high))
#define MAKELPARAM(low, high) ((LPARAM)(DWORD)MAKELONG(low, high))

#define HWND_BROADCAST ((HWND)(uintptr_t)0xFFFF)

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETTINGCHANGE 0x001A
#define WM_SETCURSOR 0x0020
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400

#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define CW_USEDEFAULT ((int)0x80000000)

#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u
#define DS_SETFOREGROUND 0x200u
#define DS_CENTER 0x800u

#define SS_LEFT 0x0u
#define SS_CENTER 0x1u
#define SS_RIGHT 0x2u
#define SS_ICON 0x3u
#define SS_TYPEMASK 0x1Fu
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u

#define STM_SETICON 0x0170
#define STM_GETICON 0x0171
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

#define GWLP_WNDPROC (-4)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16

#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

#define QS_KEY 0x0001u
#define QS_MOUSEMOVE 0x0002u
#define QS_MOUSEBUTTON 0x0004u
#define QS_POSTMESSAGE 0x0008u
#define QS_TIMER 0x0010u
#define QS_PAINT 0x0020u
#define QS_SENDMESSAGE 0x0040u
#define QS_ALLINPUT 0x007Fu
#define MWMO_INPUTAVAILABLE 0x0004u
#define MAXIMUM_WAIT_OBJECTS 64

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0u
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFBUTTON4 0x00000300u
#define MB_DEFMASK 0x00000F00u
#define MB_APPLMODAL 0x00000000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDI_HAND MAKEINTRESOURCEW(32513)
#define IDI_QUESTION MAKEINTRESOURCEW(32514)
#define IDI_EXCLAMATION MAKEINTRESOURCEW(32515)
#define IDI_ASTERISK MAKEINTRESOURCEW(32516)
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_WAIT MAKEINTRESOURCEW(32514)

COREDLL_BEGIN

/* Queues. Messages are taken in the order they were posted; WM_QUIT once none is left;
 * then WM_TIMER for a due timer (one pending message per timer, the period restarting when
 * it is removed). A thread message (PostThreadMessageW, null window) goes to every filter
 * without a window. `min`..`max` 0..0 takes every message. */
COREDLL_API BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
/* ERROR_INVALID_THREAD_ID when no thread of this process has that id. */
COREDLL_API BOOL PostThreadMessageW(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam);
/* Calls the window procedure at once. Only for windows of the calling thread: another
 * thread's window fails with ERROR_WINDOW_OF_OTHER_THREAD (post to it instead). */
COREDLL_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
/* Waits for a message: >0 for one, 0 for WM_QUIT, -1 for a bad window filter. */
COREDLL_API BOOL GetMessageW(LPMSG message, HWND window, UINT min, UINT max);
COREDLL_API BOOL PeekMessageW(LPMSG message, HWND window, UINT min, UINT max, UINT remove);
/* There are no key messages to translate: always FALSE. */
COREDLL_API BOOL TranslateMessage(const MSG* message);
/* Calls the window procedure of the message's window, or a WM_TIMER's TIMERPROC. */
COREDLL_API LRESULT DispatchMessageW(const MSG* message);
COREDLL_API void PostQuitMessage(int exit_code);
/* A timer of a window of the calling thread (its id), or with a null window a thread timer
 * with a new id. Setting an existing timer again restarts it with the new period. */
COREDLL_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC function);
COREDLL_API BOOL KillTimer(HWND window, UINT_PTR id);
/* WAIT_OBJECT_0 + i when handle i is signalled (the lowest first), WAIT_OBJECT_0 + count
 * when the queue holds input of `wake_mask` (also input that was already waiting),
 * WAIT_TIMEOUT, or WAIT_FAILED. Pseudo handles are never signalled. `flags` 0 or
 * MWMO_INPUTAVAILABLE, which means the same here. */
COREDLL_API DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles,
                                              DWORD milliseconds, DWORD wake_mask, DWORD flags);
#define MsgWaitForMultipleObjects(count, handles, wait_all, milliseconds, wake_mask) \
  MsgWaitForMultipleObjectsEx(count, handles, milliseconds, wake_mask, 0)

/* Windows. Class names compare without case. A window without WS_CHILD is a top-level
 * window (a parent given is its owner). The built-in classes are "Dialog", "static",
 * "button", "edit" and, after InitCommonControlsEx, "msctls_progress32". */
COREDLL_API ATOM RegisterClassW(const WNDCLASSW* window_class);
COREDLL_API BOOL UnregisterClassW(LPCWSTR class_name, HINSTANCE instance);
/* Sends WM_CREATE; a result of -1 there destroys the window again and fails. */
COREDLL_API HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title, DWORD style,
                                 int x, int y, int width, int height, HWND parent, HMENU menu,
                                 HINSTANCE instance, LPVOID parameter);
#define CreateWindowW(c, t, s, x, y, w, h, p, m, i, a) \
  CreateWindowExW(0, c, t, s, x, y, w, h, p, m, i, a)
/* Only by the owning thread. Sends WM_DESTROY to the window, then to its children. */
COREDLL_API BOOL DestroyWindow(HWND window);
/* WM_CLOSE destroys the window; WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH work on its
 * text; everything else gives 0. */
COREDLL_API LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
COREDLL_API BOOL ShowWindow(HWND window, int command);
/* Draws the screen now when something on it changed since it was last drawn. */
COREDLL_API BOOL UpdateWindow(HWND window);
COREDLL_API BOOL InvalidateRect(HWND window, const RECT* area, BOOL erase);
COREDLL_API BOOL SetWindowTextW(HWND window, LPCWSTR text);
/* Also the title of another process's top-level window. */
COREDLL_API int GetWindowTextW(HWND window, LPWSTR text, int size);
COREDLL_API int GetWindowTextLengthW(HWND window);
/* The device has one foreground window, kept across processes. */
COREDLL_API BOOL SetForegroundWindow(HWND window);
COREDLL_API HWND GetForegroundWindow(void);
/* The first top-level window of the device (in GetWindow order) whose class (without case)
 * and title (exactly) match; a null argument matches anything. */
COREDLL_API HWND FindWindowW(LPCWSTR class_name, LPCWSTR title);
/* Top-level windows run in the order of their process ids, each process's windows in the
 * order they were made; children in the order they were made. */
COREDLL_API HWND GetWindow(HWND window, UINT relation);
COREDLL_API BOOL EnumWindows(WNDENUMPROC function, LPARAM lparam);
COREDLL_API DWORD GetWindowThreadProcessId(HWND window, LPDWORD process_id);
COREDLL_API BOOL IsWindow(HWND window);
COREDLL_API BOOL IsWindowVisible(HWND window);
COREDLL_API HWND GetParent(HWND window);
/* GWLP_WNDPROC, GWLP_ID, GWL_STYLE, GWLP_USERDATA; on dialogs also DWLP_MSGRESULT,
 * DWLP_DLGPROC, DWLP_USER. Windows of this process only. */
COREDLL_API LONG_PTR GetWindowLongPtrW(HWND window, int index);
COREDLL_API LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);

/* Dialogs from an in-memory template. The dialog procedure gets WM_INITDIALOG with
 * `init_param`; the dialog is shown when its template has WS_VISIBLE. A template that
 * starts with the extended signature (0x0001, 0xFFFF), an unknown control class, or an
 * item of a class not yet registered fails (ERROR_INVALID_PARAMETER,
 * ERROR_CANNOT_FIND_WND_CLASS). WM_CLOSE to a dialog sends it WM_COMMAND IDCANCEL. */
COREDLL_API HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialog_template,
                                            HWND owner, DLGPROC procedure, LPARAM init_param);
/* Hides the dialog; DestroyWindow removes it. The result would be a modal dialog's, and
 * there are only modeless ones here. */
COREDLL_API BOOL EndDialog(HWND dialog, INT_PTR result);
COREDLL_API HWND GetDlgItem(HWND dialog, int id);
COREDLL_API int GetDlgCtrlID(HWND control);
COREDLL_API BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
COREDLL_API UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size);
/* With no key messages, a dialog's own keyboard handling has nothing to do: a message for
 * the dialog or one of its controls is dispatched (TRUE), any other is left (FALSE). */
COREDLL_API BOOL IsDialogMessageW(HWND dialog, LPMSG message);

/* A module's icon resources, as the platform reads them: an ELF module has no resource
 * section, so a program or library that has icons exports a table under the name
 * ICON_RESOURCES_SYMBOL, ended by an entry with id 0. `pixels` is 16 rows of 16 letters,
 * one per pixel: ' ' transparent, 'k' black, 'w' white, 'd' dark grey, 'l' light grey,
 * 'r' red, 'g' green, 'b' blue, 'y' yellow. `glyph` is the same picture in characters for
 * the terminal, its rows separated by '\n'. */
typedef struct ICONRESOURCE {
  WORD id;
  const char* pixels;
  const char* glyph;
} ICONRESOURCE;
#define ICON_RESOURCES_SYMBOL "CoreDllIconResources"
#define ICON_PIXELS 16

/* Icons and cursors: the system's (null instance, IDI_ and IDC_ values) or a module's own
 * by resource id, from its ICONRESOURCE table. An id the table lacks, or a module without
 * one, still gives an icon, which the screen shows by number as "#<id>". The same icon
 * loaded twice is the same handle. The terminal has no pointer: SetCursor only records. */
COREDLL_API HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
COREDLL_API HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
COREDLL_API HCURSOR SetCursor(HCURSOR cursor);
COREDLL_API HCURSOR GetCursor(void);

/* A message box: a top-level window of class "Dialog" with `caption` as its title, so
 * another thread or process can find it and post it WM_COMMAND with one of its button ids
 * (or IDCANCEL, or WM_CLOSE when it has Cancel or only OK) to answer it.
 * With a terminal it is drawn there and waits for a key: the first letter of a button,
 * Enter for the default button, Escape for Cancel (or OK alone). Meanwhile the thread's
 * other messages are dispatched; a WM_QUIT ends the box with 0 and is posted again.
 * Without a terminal it takes the device's next scripted answer at once. An answer that
 * is not one of the box's buttons is used up and the box gives its safe answer, as it
 * does when none is queued: No, else Cancel, else Abort, else OK, with one line on
 * standard error. Returns the button's id, or 0 with ERROR_INVALID_PARAMETER for an
 * unknown button set or icon. */
COREDLL_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

COREDLL_END

#endif
