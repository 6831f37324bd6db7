/* The setup-library interface of the platform's CAB installer.
 *
 * A CAB may carry one setup library. The CAB installer loads it and calls these four
 * exports, looked up by their exact names, around its own work: Install_Init before any
 * file is copied (again for each install folder it tries), Install_Exit once the files are
 * in place, Uninstall_Init before an application's files are removed, Uninstall_Exit after.
 * Text is UTF-16 (WCHAR is char16_t). Usable from C (C11) and C++. A setup library links
 * libcoredll.so like every device library and exports the four with C linkage:
 *
 *   STOWKIT_SETUP_EXPORT codeUNINSTALL_EXIT Uninstall_Exit(HWND hwndParent) { ... }
 */
#ifndef STOWKIT_SETUP_EXPORTS_H
#define STOWKIT_SETUP_EXPORTS_H

#include "coredll/wintypes.h"

#ifdef __cplusplus
extern "C" {
#define STOWKIT_SETUP_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define STOWKIT_SETUP_EXPORT __attribute__((visibility("default")))
#endif

typedef enum { codeINSTALL_INIT_CONTINUE = 0, codeINSTALL_INIT_CANCEL = 1 } codeINSTALL_INIT;
typedef enum { codeINSTALL_EXIT_DONE = 0, codeINSTALL_EXIT_UNINSTALL = 1 } codeINSTALL_EXIT;
typedef enum { codeUNINSTALL_INIT_CONTINUE = 0, codeUNINSTALL_INIT_CANCEL = 1 } codeUNINSTALL_INIT;
typedef enum { codeUNINSTALL_EXIT_DONE = 0 } codeUNINSTALL_EXIT;

/* fFirstCall: the first call of this installation; fPreviouslyInstalled: the application
 * is registered already (a re-install); pszInstallDir: the folder the files will go to. */
typedef codeINSTALL_INIT (*pfnINSTALL_INIT)(HWND hwndParent, BOOL fFirstCall,
                                            BOOL fPreviouslyInstalled, LPCWSTR pszInstallDir);
/* The counts say how many folders, files, registry keys, registry values and shortcuts
 * could not be made. codeINSTALL_EXIT_UNINSTALL makes the CAB installer remove the
 * application again. */
typedef codeINSTALL_EXIT (*pfnINSTALL_EXIT)(HWND hwndParent, LPCWSTR pszInstallDir,
                                            WORD cFailedDirs, WORD cFailedFiles,
                                            WORD cFailedRegKeys, WORD cFailedRegVals,
                                            WORD cFailedShortcuts);
/* codeUNINSTALL_INIT_CANCEL keeps the application installed. */
typedef codeUNINSTALL_INIT (*pfnUNINSTALL_INIT)(HWND hwndParent, LPCWSTR pszInstallDir);
typedef codeUNINSTALL_EXIT (*pfnUNINSTALL_EXIT)(HWND hwndParent);

#define szINSTALL_INIT u"Install_Init"
#define szINSTALL_EXIT u"Install_Exit"
#define szUNINSTALL_INIT u"Uninstall_Init"
#define szUNINSTALL_EXIT u"Uninstall_Exit"

#ifdef __cplusplus
}
#endif

#endif
