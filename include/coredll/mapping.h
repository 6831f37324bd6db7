/* Memory-mapped files: a file opened for mapping, a mapping object over it, and views. */
#ifndef COREDLL_MAPPING_H
#define COREDLL_MAPPING_H

#include "coredll/fileapi.h"

#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u
#define FILE_MAP_ALL_ACCESS 0x000F001Fu

#define ERROR_FILE_INVALID 1006
#define ERROR_MAPPED_ALIGNMENT 1132

COREDLL_BEGIN

/* As CreateFileW; the handle serves CreateFileMappingW and is closed with CloseHandle. */
COREDLL_API HANDLE CreateFileForMappingW(LPCWSTR name, DWORD access, DWORD share,
                                         LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                         DWORD flags_and_attributes, HANDLE template_file);
/* Maps the file (its current size when both maximum halves are 0; an empty file then fails
 * with ERROR_FILE_INVALID). The mapping keeps the file open until it is closed itself.
 * Returns NULL on failure. Named mappings are not shared between processes. */
COREDLL_API HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES security,
                                      DWORD protect, DWORD maximum_high, DWORD maximum_low,
                                      LPCWSTR name);
/* A view from `offset` (a multiple of 65536) over `bytes` (0: to the end of the mapping). */
COREDLL_API LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high,
                                 DWORD offset_low, size_t bytes);
COREDLL_API BOOL UnmapViewOfFile(LPCVOID view);

COREDLL_END

#endif
