/* A package's custom library whose exports look like hooks without being the ones the
 * installer calls, for the tests of `stowkit-pack lint` (the package lists the feature
 * "Help"):
 *   PkgCustomPreinstall      the global hook with one letter in the wrong case
 *   PkgCustomPostInstal      a letter short
 *   helpCustomPreRemove      the feature "Help" spelt "help"
 *   ExtrasCustomPostInstall  a feature the package does not list
 * and one real hook, PkgCustomPostInstall, with no removal hook to undo it. Every export
 * returns S_OK and does nothing.
 */
#include "stowkit/custom_library.h"

STOWKIT_HOOK HRESULT PkgCustomPreinstall(const HostServices* services) { (void)services; return S_OK; }
STOWKIT_HOOK HRESULT PkgCustomPostInstal(const HostServices* services) { (void)services; return S_OK; }
STOWKIT_HOOK HRESULT helpCustomPreRemove(const HostServices* services) { (void)services; return S_OK; }
STOWKIT_HOOK HRESULT ExtrasCustomPostInstall(const HostServices* services) { (void)services; return S_OK; }
STOWKIT_HOOK HRESULT PkgCustomPostInstall(const HostServices* services) { (void)services; return S_OK; }
