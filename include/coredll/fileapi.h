/* Files, folders, times and the thread's last-error value. Each call behaves as on the
 * handheld: BOOL or handle results, last-error set on failure. Paths are device paths
 * ("\Windows\x.dll"): absolute, '\'-separated, case-insensitive and case-preserving. */
#ifndef COREDLL_FILEAPI_H
#define COREDLL_FILEAPI_H

#include "coredll/wintypes.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_INROM 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

COREDLL_BEGIN

COREDLL_API DWORD GetLastError(void);
COREDLL_API void SetLastError(DWORD error);

COREDLL_API HANDLE CreateFileW(
    LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
    DWORD flags_and_attributes, HANDLE template_file);
COREDLL_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size,
                                                     LPDWORD read, LPOVERLAPPED overlapped);
COREDLL_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size,
                                                      LPDWORD written, LPOVERLAPPED overlapped);
COREDLL_API DWORD SetFilePointer(HANDLE file, LONG distance,
                                                            PLONG distance_high, DWORD method);
COREDLL_API DWORD GetFileSize(HANDLE file, LPDWORD size_high);
COREDLL_API BOOL SetEndOfFile(HANDLE file);
COREDLL_API BOOL FlushFileBuffers(HANDLE file);
COREDLL_API BOOL CloseHandle(HANDLE object);

COREDLL_API BOOL DeleteFileW(LPCWSTR name);
COREDLL_API BOOL MoveFileW(LPCWSTR from, LPCWSTR to);
COREDLL_API BOOL CopyFileW(LPCWSTR from, LPCWSTR to,
                                                      BOOL fail_if_exists);
COREDLL_API BOOL CreateDirectoryW(LPCWSTR name,
                                                             LPSECURITY_ATTRIBUTES security);
COREDLL_API BOOL RemoveDirectoryW(LPCWSTR name);
COREDLL_API DWORD GetFileAttributesW(LPCWSTR name);
COREDLL_API BOOL SetFileAttributesW(LPCWSTR name, DWORD attributes);

COREDLL_API HANDLE FindFirstFileW(LPCWSTR pattern,
                                                             LPWIN32_FIND_DATAW data);
COREDLL_API BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
COREDLL_API BOOL FindClose(HANDLE find);

COREDLL_API BOOL GetFileTime(HANDLE file, LPFILETIME creation,
                                                        LPFILETIME access, LPFILETIME write);
COREDLL_API BOOL SetFileTime(HANDLE file, const FILETIME* creation,
                                                        const FILETIME* access,
                                                        const FILETIME* write);
COREDLL_API BOOL FileTimeToSystemTime(const FILETIME* file_time,
                                                                 LPSYSTEMTIME system_time);
COREDLL_API BOOL SystemTimeToFileTime(const SYSTEMTIME* system_time,
                                                                 LPFILETIME file_time);
COREDLL_API BOOL FileTimeToLocalFileTime(const FILETIME* file_time,
                                                                    LPFILETIME local_time);
COREDLL_API BOOL LocalFileTimeToFileTime(const FILETIME* local_time,
                                                                    LPFILETIME file_time);
COREDLL_API LONG CompareFileTime(const FILETIME* a, const FILETIME* b);
COREDLL_API void GetSystemTime(LPSYSTEMTIME time);
COREDLL_API void GetLocalTime(LPSYSTEMTIME time);
COREDLL_API DWORD GetTickCount(void);

/* "\Temp\" on a Pocket PC: length without the terminator, or the size needed (with it) when
 * `size` is too small; 0 with last-error when the folder is missing. */
COREDLL_API DWORD GetTempPathW(DWORD size, LPWSTR buffer);

COREDLL_END

#endif
