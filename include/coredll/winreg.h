/* The device registry. Each call returns an error number (ERROR_SUCCESS on success) and,
 * as on the desktop, leaves the thread's last-error value alone.
 *
 * Keys and value names are case-insensitive and keep the case they were created with.
 * A subkey path is '\'-separated: a leading '\' or an empty component is refused with
 * ERROR_INVALID_PARAMETER, a trailing '\' is ignored. Key and value names are at most
 * 255 characters, and a key lies at most 16 levels below its root (creating a deeper one
 * is refused with ERROR_INVALID_PARAMETER). Value data keep their type and bytes exactly
 * as written.
 *
 * Enumeration (RegEnumKeyExW, RegEnumValueW) yields subkeys and values in creation order;
 * overwriting a value keeps its place. An index past the end answers ERROR_NO_MORE_ITEMS.
 *
 * As on the handheld, the access mask of an open or create is not enforced, RegDeleteKeyW
 * deletes the whole tree below the key, and a key has no class or write time. A handle
 * whose key was deleted (by this or another process) answers ERROR_KEY_DELETED to every
 * call that uses the key; it can still be closed. Opening a predefined root with a null or
 * empty subkey gives back the root handle itself.
 *
 * Every call is one transaction of the device's registry, which all device processes share;
 * writes are kept without waiting for the disk, and RegFlushKey makes every earlier write
 * durable. */
#ifndef COREDLL_WINREG_H
#define COREDLL_WINREG_H

#include "coredll/fileapi.h"
#include "coredll/wintypes.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_OPTION_NON_VOLATILE 0x00000000u

#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

COREDLL_BEGIN

/* Opens `subkey` below `key`, creating every missing level. `disposition` (optional) tells
 * whether the last level was created. `class_name`, `options`, `sam` and `security` are
 * accepted and ignored. */
COREDLL_API LONG RegCreateKeyExW(HKEY key, LPCWSTR subkey, DWORD reserved, LPWSTR class_name,
                                 DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES security,
                                 PHKEY result, LPDWORD disposition);
/* Opens an existing key; ERROR_FILE_NOT_FOUND when a level is missing. A null or empty
 * subkey gives a new handle to `key` itself (the root itself for a predefined root). */
COREDLL_API LONG RegOpenKeyExW(HKEY key, LPCWSTR subkey, DWORD options, REGSAM sam,
                               PHKEY result);
/* Closing a predefined root is a harmless no-op. */
COREDLL_API LONG RegCloseKey(HKEY key);

/* A null or empty name is the key's unnamed value. */
COREDLL_API LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD size);
/* `type`, `data` and `size` are optional, but `data` needs `size`. With data, a buffer
 * smaller than the value answers ERROR_MORE_DATA and sets `size` to the bytes needed;
 * without data, `size` receives the bytes needed. */
COREDLL_API LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                  LPBYTE data, LPDWORD size);
COREDLL_API LONG RegDeleteValueW(HKEY key, LPCWSTR name);
/* Deletes `subkey` (never empty) and everything below it. */
COREDLL_API LONG RegDeleteKeyW(HKEY key, LPCWSTR subkey);

/* The subkey at `index`. `name_chars` holds the buffer size in characters and receives the
 * name's length without the terminator; too small a buffer answers ERROR_MORE_DATA with
 * `name_chars` set to the size needed, terminator included. The class comes back empty
 * and the write time as zero. */
COREDLL_API LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars,
                               LPDWORD reserved, LPWSTR class_name, LPDWORD class_chars,
                               LPFILETIME last_write);
/* The value at `index`: its name as RegEnumKeyExW gives a subkey's; `type`, `data` and
 * `size` as RegQueryValueExW. When the name or the data does not fit, ERROR_MORE_DATA
 * with both sizes set to what is needed, and nothing copied. */
COREDLL_API LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars,
                               LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
/* Counts and longest lengths (characters without terminator; data in bytes) of the key's
 * subkeys and values; every out argument is optional. Class, security descriptor size and
 * write time come back empty or zero. */
COREDLL_API LONG RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_chars,
                                  LPDWORD reserved, LPDWORD subkeys, LPDWORD max_subkey_chars,
                                  LPDWORD max_class_chars, LPDWORD values,
                                  LPDWORD max_value_name_chars, LPDWORD max_value_bytes,
                                  LPDWORD security_descriptor_bytes, LPFILETIME last_write);
/* Makes every write made so far, through any handle, durable on the host disk. */
COREDLL_API LONG RegFlushKey(HKEY key);

/* Not calls of the handheld, which keeps registry writes in memory and saves them lazily, so
 * that a run of writes costs little there; here every call is a commit of the device's
 * database. RegBeginBatch gathers this process's registry calls into one transaction until
 * the matching RegEndBatch commits them; batches nest and the outermost end commits. Each
 * call inside still succeeds or fails whole. Meanwhile other device processes read the
 * registry as it was before the batch, and a write of theirs waits for its end (up to ten
 * seconds, then ERROR_BUSY): a batch must never span a wait for another process.
 * RegFlushKey inside a batch commits what it holds so far. RegEndBatch answers the commit's
 * error when the batch's writes could not be kept. A port to the handheld makes both do
 * nothing. */
COREDLL_API LONG RegBeginBatch(void);
COREDLL_API LONG RegEndBatch(void);

COREDLL_END

#endif
