/* What a package's custom library sees of the installer.
 *
 * A package may carry one library of its own (a "CustomDll" entry). The installer extracts
 * it into the run's work folder, loads it, and calls the hooks below by their exact export
 * names at fixed points of the run. Every hook gets the address of the installer's
 * HostServices table: plain functions through which the library reads and narrows the run,
 * reports text, and uses the installer's file, registry, shortcut and process services.
 *
 * Text is UTF-16 (WCHAR is char16_t). A service that returns text copies it into the
 * caller's buffer of `length` characters as wcsncpy does: at most `length` characters, and
 * no terminating zero when the text fills the buffer or is longer. Pass a buffer one longer
 * than the longest text you expect and zero its last character.
 *
 * Usable from C (C11, for char16_t) and C++. A custom library links libcoredll.so like
 * every device library and exports its hooks with C linkage:
 *
 *   STOWKIT_HOOK HRESULT PkgCustomPreInstall(const HostServices* services) { ... }
 */
#ifndef STOWKIT_CUSTOM_LIBRARY_H
#define STOWKIT_CUSTOM_LIBRARY_H

#include "coredll/wintypes.h"
#include "coredll/winerror.h"
#include "coredll/winreg.h"
#include "coredll/winuser.h"

#ifdef __cplusplus
extern "C" {
#endif

#define STOWKIT_HOOK_EXPORT __attribute__((visibility("default")))
#ifdef __cplusplus
#define STOWKIT_HOOK extern "C" STOWKIT_HOOK_EXPORT
#else
#define STOWKIT_HOOK STOWKIT_HOOK_EXPORT
#endif

/* Run modes, as GetMode returns them. */
#define PKG_MODE_FULL_INSTALL 1
#define PKG_MODE_PATCH_INSTALL 2
#define PKG_MODE_FULL_REMOVE 3
#define PKG_MODE_MINOR_REMOVE 4

/* Platform types, as GetPlatformType returns them. */
#define PKG_PLATFORM_UNKNOWN 0
#define PKG_PLATFORM_DESKTOP 1
#define PKG_PLATFORM_POCKET_PC 2
#define PKG_PLATFORM_SMARTPHONE 3
#define PKG_PLATFORM_OTHER_CE 4

/* The table, slot by slot (slot numbers in brackets). Services that return int give the
 * installer's service result: 1 on success, 0 on failure with the platform's last error
 * set. */
typedef struct HostServices {
  /* [0] The run mode, PKG_MODE_*. */
  int32_t (*GetMode)(void);
  /* [1]..[6] Texts of the run; each returns `buffer`. */
  WCHAR* (*GetAppName)(WCHAR* buffer, DWORD length);
  WCHAR* (*GetDisplayName)(WCHAR* buffer, DWORD length);
  WCHAR* (*GetPackagePath)(WCHAR* buffer, DWORD length);
  WCHAR* (*GetWorkFolder)(WCHAR* buffer, DWORD length);
  WCHAR* (*GetUserName)(WCHAR* buffer, DWORD length);
  WCHAR* (*GetUserLanguage)(WCHAR* buffer, DWORD length);
  /* [7] The package header's version: four 8-bit fields, major in the top byte, so
   * 1.2.3.4 is 0x01020304. */
  DWORD (*GetPackageVersion)(void);
  /* [8] 1 when `names` (a list split at "," and ";") is empty or names an enabled
   * feature. */
  BOOL (*IsFeatureEnabled)(LPCWSTR names);
  /* [9] Disables the features and clears "ShouldInstall" on the entries that need them. */
  void (*DisableFeature)(LPCWSTR names);
  /* [10] As [8], for languages. */
  BOOL (*IsLanguageEnabled)(LPCWSTR names);
  /* [11] As [9], for languages. */
  void (*DisableLanguage)(LPCWSTR names);
  /* [12] 1 when the macro is defined and expands without error; `buffer` gets the expanded
   * value, empty when undefined. The name may be written as NAME or as $(NAME), in any
   * case. */
  BOOL (*GetMacro)(LPCWSTR name, WCHAR* buffer, DWORD length);
  /* [13] Defines or replaces a macro for the rest of the run. */
  void (*SetMacro)(LPCWSTR name, LPCWSTR value);
  /* [14] The number of catalog entries. */
  DWORD (*GetEntryCount)(void);
  /* [15] 1 and the entry's type, entry flags and type flags; 0 and three zeros when there is
   * no entry `index`. */
  BOOL (*GetEntryInfo)(DWORD index, BYTE* type, BYTE* entry_flags, BYTE* type_flags);
  /* [16] 1 when the entry has the property; `buffer` gets its value, else empty text. */
  BOOL (*GetEntryProperty)(DWORD index, DWORD property_id, WCHAR* buffer, DWORD length);
  /* [17] Sets a property of an entry; nothing happens when there is no entry `index`. */
  void (*SetEntryProperty)(DWORD index, DWORD property_id, LPCWSTR value);
  /* [18] Enables the known names of `names` in the secondary feature set. */
  void (*EnableSecondaryFeatures)(LPCWSTR names);
  /* [19] Reports `text` as the run's error (shown at the end of a failed run). */
  void (*SetError)(LPCWSTR text);
  /* [20] Writes `text` to the log. */
  void (*Log)(LPCWSTR text);
  /* [21]..[25] File services. */
  int (*CreateFolder)(LPCWSTR path);
  int (*DeleteFolder)(LPCWSTR path, BOOL delete_files);
  int (*EnsureParentFolder)(LPCWSTR file_path);
  int (*FileExists)(LPCWSTR path);
  int (*DeleteFile)(LPCWSTR path);
  /* [26]..[28] Path texts into `buffer`. */
  void (*JoinPath)(LPCWSTR folder, LPCWSTR name, WCHAR* buffer, DWORD length);
  void (*PathFileName)(LPCWSTR path, WCHAR* buffer, DWORD length);
  void (*PathFolder)(LPCWSTR path, WCHAR* buffer, DWORD length);
  /* [29]..[34] Registry services. Writes are unconditional; deleting a value also deletes
   * the keys it leaves empty. [31] and [32] fail for a value of another type. */
  int (*SetRegString)(HKEY root, LPCWSTR key, LPCWSTR name, LPCWSTR text);
  int (*SetRegDword)(HKEY root, LPCWSTR key, LPCWSTR name, DWORD value);
  int (*GetRegString)(HKEY root, LPCWSTR key, LPCWSTR name, WCHAR* buffer, DWORD length);
  int (*GetRegDword)(HKEY root, LPCWSTR key, LPCWSTR name, DWORD* value);
  int (*DeleteRegKey)(HKEY root, LPCWSTR key);
  int (*DeleteRegValue)(HKEY root, LPCWSTR key, LPCWSTR name);
  /* [35], [36] 1 when the library's DllRegisterServer / DllUnregisterServer succeeded. */
  BOOL (*RegisterLibrary)(LPCWSTR path);
  BOOL (*UnregisterLibrary)(LPCWSTR path);
  /* [37], [38] Shortcuts; ".lnk" is appended when missing. `icon` is not used. */
  int (*CreateShortcut)(LPCWSTR shortcut, LPCWSTR target, LPCWSTR arguments, LPCWSTR icon);
  int (*DeleteShortcut)(LPCWSTR shortcut);
  /* [39] Starts a program, waiting for it when `wait` is set; `unused` is not read. */
  int (*RunProgram)(LPCWSTR program, LPCWSTR arguments, BOOL wait, DWORD unused,
                    DWORD* exit_code);
  /* [40] Posts `message` to the first window of `window_class` and waits for its program to
   * end, terminating it after the wait when `terminate` is set. */
  int (*CloseWindowProgram)(LPCWSTR window_class, UINT message, WPARAM wparam, LPARAM lparam,
                            BOOL terminate);
  /* [41] Closes (or ends) every running program of that file name. */
  int (*CloseProgramsByName)(LPCWSTR program);
  /* [42] The name of a program that has `file` loaded, into `buffer` (empty when none). */
  int (*FindProgramUsingFile)(LPCWSTR file, WCHAR* buffer, DWORD length);
  /* [43] Reserved: always 1. */
  int (*Reserved43)(void);
  /* [44] Does nothing. */
  void (*ServeMessages)(void);
  /* [45] Waits for `handle` (null: only the time-out) while serving window messages. */
  int (*Wait)(HANDLE handle, DWORD timeout_ms);
  /* [46] The platform type (PKG_PLATFORM_*), also stored in `*type` unless it is null. */
  DWORD (*GetPlatformType)(DWORD* type);
  /* [47], [48] Reserved: return `value`. */
  DWORD (*Reserved47)(DWORD value);
  DWORD (*Reserved48)(DWORD value);
  /* [49] The platform's text for an error, into `buffer`. */
  void (*ErrorText)(HRESULT hr, WCHAR* buffer, DWORD length);
  /* [50] Copies a registry key with its values and subkeys. */
  int (*CopyRegTree)(HKEY source_root, LPCWSTR source_key, HKEY target_root,
                     LPCWSTR target_key);
  /* [51] A non-zero value asks for a device restart after a successful run. */
  void (*RequestRestart)(DWORD value);
} HostServices;

#define STOWKIT_HOST_SERVICE_COUNT 52

/* The global hooks: "PkgCustomPreInstall", "PkgCustomPostInstall", "PkgCustomPreRemove",
 * "PkgCustomPostRemove". The feature hooks carry the feature's name in front, exactly as the
 * package's feature list writes it: "<Feature>CustomPreInstall", "<Feature>CustomPostInstall",
 * "<Feature>CustomPreRemove", "<Feature>CustomPostRemove". A negative result fails the run;
 * 0 and 1 go on. A missing export counts as 0. */
typedef HRESULT (*PkgCustomHook)(const HostServices* services);

/* File in use: "PkgCustomFileInUse" is asked first when a file cannot be written or deleted
 * because a program holds it. PKG_FILE_IN_USE_SKIP or PKG_FILE_IN_USE_ABORT decides. Any
 * other value says how the installer goes on, unless the run is silent (it then closes the
 * holding program): 0 or 1 asks the user, 2 closes the holding program without asking, and
 * anything else is handed to the file step, which retries. */
#define PKG_FILE_OPERATION_OVERWRITE 0
#define PKG_FILE_OPERATION_DELETE 1

#define PKG_FILE_IN_USE_RETRY 1
#define PKG_FILE_IN_USE_RETRY_HANDLED 2
#define PKG_FILE_IN_USE_SKIP 3
#define PKG_FILE_IN_USE_ABORT 4

typedef int32_t (*PkgCustomFileInUseHook)(const HostServices* services, LPCWSTR path,
                                          DWORD operation);

#ifdef __cplusplus
}
#endif

#endif /* STOWKIT_CUSTOM_LIBRARY_H */
