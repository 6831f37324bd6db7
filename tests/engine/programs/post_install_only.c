/* A package's custom library with a single hook, "PkgCustomPostInstall": every other hook
 * the installer looks for is missing. The hook writes the line
 * "post-install-only: PkgCustomPostInstall" into the installer's log (host service 20) and
 * succeeds.
 */
#include "stowkit/custom_library.h"

STOWKIT_HOOK HRESULT PkgCustomPostInstall(const HostServices* services) {
  services->Log(u"post-install-only: PkgCustomPostInstall");
  return S_OK;
}
