/* Text, locale, system error texts and local memory of the platform. */
#ifndef COREDLL_SYSAPI_H
#define COREDLL_SYSAPI_H

#include <stdarg.h>

#include "coredll/wintypes.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define ERROR_MR_MID_NOT_FOUND 317

typedef void* HLOCAL;

COREDLL_BEGIN

/* Case-insensitive comparison through the platform's one case mapping: <0, 0 or >0. */
COREDLL_API int lstrcmpiW(LPCWSTR a, LPCWSTR b);
/* Upper-cases the text in place and returns it; a value below 0x10000 is one character and
 * comes back upper-cased. */
COREDLL_API LPWSTR CharUpperW(LPWSTR text);

COREDLL_API LCID GetUserDefaultLCID(void);

/* FORMAT_MESSAGE_FROM_SYSTEM only: the English system text of `id`. A width of
 * FORMAT_MESSAGE_MAX_WIDTH_MASK turns each line break into one blank; any other width keeps
 * the text as stored (ending in CR LF). An insert ("%1") without IGNORE_INSERTS fails with
 * ERROR_INVALID_PARAMETER, as no arguments are taken. Fails with ERROR_MR_MID_NOT_FOUND
 * when the text is unknown or the device has no message table. */
COREDLL_API DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD id, DWORD language,
                                 LPWSTR buffer, DWORD size, va_list* arguments);

COREDLL_API HLOCAL LocalAlloc(UINT flags, size_t bytes);
COREDLL_API HLOCAL LocalFree(HLOCAL memory);

COREDLL_END

#endif
