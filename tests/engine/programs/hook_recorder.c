/* A package's custom library for the installer's tests, written in C against the public
 * header only, as a package author would write one.
 *
 * Exports: the four global hooks, the four feature hooks of the features "Help" and
 * "Extras", and "PkgCustomFileInUse".
 *
 * Record. Every call appends one line to a log file, UTF-16LE with CR LF line ends:
 *   "<hook name> <run mode>"                   for the hooks that get only the table,
 *   "PkgCustomFileInUse <operation> <path>"    for the file-in-use hook (operation 0 or 1).
 * The file's device path is the value of the macro HOOKLOG (so a test chooses it with
 * /DHOOKLOG \Temp\hooks.txt); its folder is created when missing. Without HOOKLOG nothing
 * is written.
 *
 * Steering. Each hook reads these macros when it runs (expanded, as host service 12 gives
 * them), so a definition that HOOKSETMACRO makes is seen by every later hook:
 *   HOOKDISABLE=<features>        PkgCustomPreInstall and PkgCustomPreRemove disable them
 *                                 (host service 9).
 *   HOOKDISABLELANG=<languages>   the same hooks disable these languages (service 11).
 *   HOOKSETMACRO=<name>=<value>   the same hooks define macro <name> (service 13); the value
 *                                 is everything after the first "=" (empty without one).
 *   HOOKRESTART=<number>          the same hooks request a restart with that number
 *                                 (service 51).
 *   HOOKFAIL=<hook names>         the named hooks return E_FAIL (0x80004005).
 *   HOOKSFALSE=<hook names>       the named hooks return S_FALSE (1); all others return S_OK.
 *   HOOKINUSE=<number>            PkgCustomFileInUse answers that number (0 when undefined).
 *   HOOKLOAD=<device path>        the same hooks load that library and keep it loaded, as
 *                                 a library that uses a file of the installed version would.
 *   HOOKWAIT=<milliseconds>       PkgCustomPreInstall and PkgCustomPreRemove wait that long
 *                                 while serving window messages (service 45), so that a
 *                                 test can watch the progress dialog at that stage.
 * A hook first writes its line, then acts, then returns. Lists of names are split at ","
 * and ";" and compared without regard to case; numbers are unsigned decimal.
 */
#include "coredll/windows.h"
#include "stowkit/custom_library.h"

enum { kTextChars = MAX_PATH + 1, kLineChars = 2 * kTextChars };

static size_t TextLength(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

/* Appends to the terminated `line` of `capacity` characters; what does not fit is cut. */
static void Append(WCHAR* line, size_t capacity, const WCHAR* text) {
  size_t used = TextLength(line);
  while (*text != 0 && used + 1 < capacity) line[used++] = *text++;
  line[used] = 0;
}

static void AppendNumber(WCHAR* line, size_t capacity, uint32_t value) {
  WCHAR digits[11];
  size_t first = sizeof digits / sizeof digits[0] - 1;
  digits[first] = 0;
  do {
    digits[--first] = (WCHAR)(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  Append(line, capacity, digits + first);
}

static uint32_t ParseNumber(const WCHAR* text) {
  uint32_t value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) value = value * 10 + (uint32_t)(*text - u'0');
  return value;
}

/* The macro's expanded value, always terminated; empty when it is not defined. */
static void ReadMacro(const HostServices* services, LPCWSTR name, WCHAR value[kTextChars]) {
  value[kTextChars - 1] = 0;
  services->GetMacro(name, value, kTextChars - 1);
}

static BOOL ListHasName(const WCHAR* list, const WCHAR* name) {
  WCHAR item[kTextChars];
  while (*list != 0) {
    size_t length = 0;
    for (; *list != 0 && *list != u',' && *list != u';'; ++list) {
      if (length + 1 < kTextChars) item[length++] = *list;
    }
    if (*list != 0) ++list;
    while (length > 0 && item[length - 1] == u' ') --length;
    item[length] = 0;
    const WCHAR* start = item;
    while (*start == u' ') ++start;
    if (*start != 0 && lstrcmpiW(start, name) == 0) return TRUE;
  }
  return FALSE;
}

static void AppendLineToLog(const HostServices* services, const WCHAR* line) {
  WCHAR path[kTextChars];
  ReadMacro(services, u"HOOKLOG", path);
  if (path[0] == 0) return;
  services->EnsureParentFolder(path);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  SetFilePointer(file, 0, NULL, FILE_END);
  WriteFile(file, line, (DWORD)(TextLength(line) * sizeof(WCHAR)), &written, NULL);
  WriteFile(file, u"\r\n", 2 * sizeof(WCHAR), &written, NULL);
  CloseHandle(file);
}

static void DefineMacro(const HostServices* services, WCHAR* definition) {
  WCHAR* value = definition;
  while (*value != 0 && *value != u'=') ++value;
  if (*value != 0) *value++ = 0;
  services->SetMacro(definition, value);
}

static void ActOnMacros(const HostServices* services) {
  WCHAR value[kTextChars];
  ReadMacro(services, u"HOOKDISABLE", value);
  if (value[0] != 0) services->DisableFeature(value);
  ReadMacro(services, u"HOOKDISABLELANG", value);
  if (value[0] != 0) services->DisableLanguage(value);
  ReadMacro(services, u"HOOKSETMACRO", value);
  if (value[0] != 0) DefineMacro(services, value);
  ReadMacro(services, u"HOOKRESTART", value);
  if (value[0] != 0) services->RequestRestart(ParseNumber(value));
  ReadMacro(services, u"HOOKLOAD", value);
  if (value[0] != 0) LoadLibraryW(value);
  ReadMacro(services, u"HOOKWAIT", value);
  if (value[0] != 0) services->Wait(NULL, ParseNumber(value));
}

static HRESULT ResultFor(const HostServices* services, const WCHAR* hook) {
  WCHAR names[kTextChars];
  ReadMacro(services, u"HOOKFAIL", names);
  if (ListHasName(names, hook)) return E_FAIL;
  ReadMacro(services, u"HOOKSFALSE", names);
  return ListHasName(names, hook) ? S_FALSE : S_OK;
}

static HRESULT Hook(const HostServices* services, const WCHAR* hook, BOOL acts) {
  WCHAR line[kLineChars] = {0};
  Append(line, kLineChars, hook);
  Append(line, kLineChars, u" ");
  AppendNumber(line, kLineChars, (uint32_t)services->GetMode());
  AppendLineToLog(services, line);
  if (acts) ActOnMacros(services);
  return ResultFor(services, hook);
}

#define WIDE(text) u##text
#define RECORDED_HOOK(name, acts)                                        \
  STOWKIT_HOOK HRESULT name(const HostServices* services) {              \
    return Hook(services, WIDE(#name), acts);                            \
  }

RECORDED_HOOK(PkgCustomPreInstall, TRUE)
RECORDED_HOOK(PkgCustomPostInstall, FALSE)
RECORDED_HOOK(PkgCustomPreRemove, TRUE)
RECORDED_HOOK(PkgCustomPostRemove, FALSE)
RECORDED_HOOK(HelpCustomPreInstall, FALSE)
RECORDED_HOOK(HelpCustomPostInstall, FALSE)
RECORDED_HOOK(HelpCustomPreRemove, FALSE)
RECORDED_HOOK(HelpCustomPostRemove, FALSE)
RECORDED_HOOK(ExtrasCustomPreInstall, FALSE)
RECORDED_HOOK(ExtrasCustomPostInstall, FALSE)
RECORDED_HOOK(ExtrasCustomPreRemove, FALSE)
RECORDED_HOOK(ExtrasCustomPostRemove, FALSE)

STOWKIT_HOOK int32_t PkgCustomFileInUse(const HostServices* services, LPCWSTR path,
                                        DWORD operation) {
  WCHAR line[kLineChars] = {0};
  Append(line, kLineChars, u"PkgCustomFileInUse ");
  AppendNumber(line, kLineChars, operation);
  Append(line, kLineChars, u" ");
  Append(line, kLineChars, path);
  AppendLineToLog(services, line);
  WCHAR answer[kTextChars];
  ReadMacro(services, u"HOOKINUSE", answer);
  return (int32_t)ParseNumber(answer);
}
