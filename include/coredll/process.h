/* Processes, threads and waits. A device process is a host process started by
 * CreateProcessW from a program in the device's file system; it is listed in the device's
 * process table with its parent, program, command line and modules. Exit codes are 32-bit
 * values end to end (the host's 8-bit exit status is not used for them). */
#ifndef COREDLL_PROCESS_H
#define COREDLL_PROCESS_H

#include "coredll/fileapi.h"

#define STILL_ACTIVE 259u
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define PROCESS_ALL_ACCESS 0x001F0FFFu
#define SYNCHRONIZE 0x00100000u
#define PROCESS_TERMINATE 0x0001u
#define ERROR_PROCESS_ABORTED 1067

/* The exit code of a device process killed from outside, which could not say its own. */
#define EXIT_CODE_KILLED ERROR_PROCESS_ABORTED

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

typedef struct _STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow, cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

COREDLL_BEGIN

/* Starts the device program `application` (a device path; a bare name is looked for in
 * \Windows, then in \) with exactly `command_line` as its command line. As on the handheld,
 * inheritance, environment, current folder and start-up information are not used. Returns
 * once the new process is listed in the device's process table. */
COREDLL_API BOOL CreateProcessW(LPCWSTR application, LPWSTR command_line,
                                LPSECURITY_ATTRIBUTES process_security,
                                LPSECURITY_ATTRIBUTES thread_security, BOOL inherit_handles,
                                DWORD creation_flags, LPVOID environment, LPCWSTR current_folder,
                                LPSTARTUPINFOW startup_info, LPPROCESS_INFORMATION information);
/* A device process by id; ERROR_INVALID_PARAMETER when no such process runs. */
COREDLL_API HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD process_id);
COREDLL_API DWORD GetCurrentProcessId(void);
COREDLL_API DWORD GetCurrentThreadId(void);
/* Pseudo handles: 0x42 and 0x41. Neither is ever signalled. */
COREDLL_API HANDLE GetCurrentProcess(void);
COREDLL_API HANDLE GetCurrentThread(void);
COREDLL_API DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
COREDLL_API BOOL GetExitCodeProcess(HANDLE process, LPDWORD exit_code);
COREDLL_API BOOL TerminateProcess(HANDLE process, UINT exit_code);
COREDLL_API void ExitProcess(UINT exit_code) __attribute__((noreturn));
COREDLL_API void Sleep(DWORD milliseconds);
COREDLL_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, size_t stack_size,
                                LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                DWORD creation_flags, LPDWORD thread_id);
COREDLL_API BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code);
/* The command line the process was started with: for a device process exactly the text
 * its creator gave; for a program started from a host shell its arguments joined by the
 * Windows quoting rules. Without the program name in either case. */
COREDLL_API LPWSTR GetCommandLineW(void);

COREDLL_END

#endif
