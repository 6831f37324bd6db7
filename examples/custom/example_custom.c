/* An example custom library for a package: it refuses a desktop machine, notes when the
 * application was installed and forgets that note when the application is removed, all
 * through the services that the installer hands to every hook.
 *
 * Build it as a shared library that links libcoredll.so (see examples/CMakeLists.txt) and
 * put it into the package as a "CustomDll" entry. The installer extracts and loads it for
 * the run and calls the hooks it exports; hooks it does not export count as done.
 *
 *   PkgCustomPreInstall   fails the install, with a message, on desktop Windows.
 *   PkgCustomPostInstall  writes the local time of the install, "YYYY-MM-DD hh:mm:ss", as
 *                         the text value "InstallTime" under
 *                         HKEY_LOCAL_MACHINE\Software\<AppName>, and says so in the log.
 *   PkgCustomPreRemove    deletes that value again (and the key, once nothing else is in
 *                         it), and says so in the log.
 */
#include "coredll/windows.h"
#include "stowkit/custom_library.h"

enum { kTextChars = MAX_PATH + 1, kTimeChars = sizeof "YYYY-MM-DD hh:mm:ss" };

static const WCHAR kValueName[] = u"InstallTime";

/* "Software\<AppName>", terminated; FALSE when the package names no application. */
static BOOL ApplicationKey(const HostServices* services, WCHAR key[kTextChars]) {
  WCHAR name[kTextChars];
  name[kTextChars - 1] = 0;
  services->GetAppName(name, kTextChars - 1);
  if (name[0] == 0) return FALSE;
  key[kTextChars - 1] = 0;
  services->JoinPath(u"Software", name, key, kTextChars - 1);
  return TRUE;
}

static WCHAR* PutDigits(WCHAR* at, unsigned value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = (WCHAR)(u'0' + value % 10);
    value /= 10;
  }
  return at + width;
}

static void LocalTimeText(WCHAR text[kTimeChars]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  WCHAR* at = PutDigits(text, now.wYear, 4);
  *at++ = u'-';
  at = PutDigits(at, now.wMonth, 2);
  *at++ = u'-';
  at = PutDigits(at, now.wDay, 2);
  *at++ = u' ';
  at = PutDigits(at, now.wHour, 2);
  *at++ = u':';
  at = PutDigits(at, now.wMinute, 2);
  *at++ = u':';
  at = PutDigits(at, now.wSecond, 2);
  *at = 0;
}

STOWKIT_HOOK HRESULT PkgCustomPreInstall(const HostServices* services) {
  DWORD platform = services->GetPlatformType(NULL);
  if (platform != PKG_PLATFORM_DESKTOP) return S_OK;
  services->SetError(u"This application runs on Windows CE devices only.");
  return E_FAIL;
}

STOWKIT_HOOK HRESULT PkgCustomPostInstall(const HostServices* services) {
  WCHAR key[kTextChars];
  if (!ApplicationKey(services, key)) return S_OK;
  WCHAR now[kTimeChars];
  LocalTimeText(now);
  if (services->SetRegString(HKEY_LOCAL_MACHINE, key, kValueName, now)) {
    services->Log(u"Example: install time recorded");
    return S_OK;
  }
  /* A missing note is not worth failing the install for: say why in the log and go on. */
  WCHAR reason[kTextChars];
  reason[kTextChars - 1] = 0;
  services->ErrorText((HRESULT)GetLastError(), reason, kTextChars - 1);
  services->Log(u"Example: could not record the install time:");
  services->Log(reason);
  return S_OK;
}

STOWKIT_HOOK HRESULT PkgCustomPreRemove(const HostServices* services) {
  WCHAR key[kTextChars];
  if (ApplicationKey(services, key)) {
    services->DeleteRegValue(HKEY_LOCAL_MACHINE, key, kValueName);
  }
  services->Log(u"Example: install time forgotten");
  return S_OK;
}
