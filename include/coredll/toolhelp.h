/* Records and entry points of the built-in "toolhelp.dll". Its functions are reached only
 * through LoadLibraryW("toolhelp.dll") and GetProcAddressW, because a device may lack it. */
#ifndef COREDLL_TOOLHELP_H
#define COREDLL_TOOLHELP_H

#include "coredll/wintypes.h"

#define TH32CS_SNAPPROCESS 0x00000002u
#define TH32CS_SNAPMODULE 0x00000008u

/* The handheld's 32-bit layouts: 564 and 1076 bytes. */
typedef struct tagPROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  DWORD th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
  DWORD th32MemoryBase;
  DWORD th32AccessKey;
} PROCESSENTRY32W;

typedef struct tagMODULEENTRY32W {
  DWORD dwSize;
  DWORD th32ModuleID;
  DWORD th32ProcessID;
  DWORD GlblcntUsage;
  DWORD ProccntUsage;
  DWORD modBaseAddr;
  DWORD modBaseSize;
  DWORD hModule;
  WCHAR szModule[MAX_PATH];
  WCHAR szExePath[MAX_PATH];
  DWORD dwFlags;
} MODULEENTRY32W;

typedef HANDLE (*PFN_CreateToolhelp32Snapshot)(DWORD flags, DWORD process_id);
typedef BOOL (*PFN_CloseToolhelp32Snapshot)(HANDLE snapshot);
typedef BOOL (*PFN_Process32First)(HANDLE snapshot, PROCESSENTRY32W* entry);
typedef BOOL (*PFN_Process32Next)(HANDLE snapshot, PROCESSENTRY32W* entry);
typedef BOOL (*PFN_Module32First)(HANDLE snapshot, MODULEENTRY32W* entry);
typedef BOOL (*PFN_Module32Next)(HANDLE snapshot, MODULEENTRY32W* entry);

#endif
