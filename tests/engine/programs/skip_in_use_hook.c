/* A package's custom library whose file-in-use hook skips every file it is asked about. */
#include "stowkit/custom_library.h"

STOWKIT_HOOK int32_t PkgCustomFileInUse(const HostServices* services, LPCWSTR path,
                                        DWORD operation) {
  (void)services;
  (void)path;
  (void)operation;
  return PKG_FILE_IN_USE_SKIP;
}
