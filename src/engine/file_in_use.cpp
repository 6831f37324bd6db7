#include "engine/file_in_use.h"

#include <string>

#include "engine/engine.h"
#include "engine/hooks.h"
#include "engine/status_reporter.h"
#include "resources/ui_strings.h"
#include "services/file_services.h"
#include "services/hresult.h"
#include "services/process_services.h"
#include "text/fold.h"
#include "text/format.h"

namespace stowkit {
namespace {

enum Manner : int32_t { kAsk = 1, kAutomatic = 2 };

// The question, then the hint for a known holder or the one for an unknown loader.
struct InUseTexts {
  UiStringId question, process_hint, loader_hint;
};
constexpr InUseTexts kOverwriteTexts{UiStringId::kOverwriteInUse, UiStringId::kOverwriteHintProcess,
                                     UiStringId::kOverwriteHintLoader};
constexpr InUseTexts kDeleteTexts{UiStringId::kDeleteInUse, UiStringId::kDeleteHintProcess,
                                  UiStringId::kDeleteHintLoader};
constexpr UINT kOverwriteButtons = MB_RETRYCANCEL | MB_ICONEXCLAMATION | MB_SETFOREGROUND;
constexpr UINT kDeleteButtons = MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_SETFOREGROUND;
// A built-in library keeps its handle however often it is released; no process holds a
// real library this often.
constexpr int kMaxReleases = 64;

// The installer itself is this program, or an installer waiting for it (the new version
// whose uninstaller of the old one this is): ending that one would end the install.
bool IsInstallerItself(const Engine& engine, std::u16string_view holder, bool own_chain) {
  if (holder.empty()) return false;
  if (own_chain) return true;
  std::u16string holder_name, own_name;
  PathFileName(holder, holder_name);
  PathFileName(engine.program_path, own_name);
  return EqualsNoCase(holder_name, own_name);
}

void ReleaseOwnModule(std::u16string_view path) {
  std::u16string text(path);
  HMODULE module;
  for (int released = 0; released < kMaxReleases && (module = GetModuleHandleW(text.c_str()));
       ++released) {
    report::Debug(Format(u"Forcefully decrementing module refcount for %s", text));
    if (!FreeLibrary(module)) return;
  }
}

std::u16string Question(std::u16string_view path, uint32_t operation, std::u16string_view holder) {
  const InUseTexts& texts =
      operation == PKG_FILE_OPERATION_OVERWRITE ? kOverwriteTexts : kDeleteTexts;
  std::u16string hint = holder.empty() ? LoadUiString(texts.loader_hint)
                                       : Format(LoadUiString(texts.process_hint), holder);
  return Format(LoadUiString(texts.question), path) + hint;
}

// A box that could not be shown answers as Cancel would: nobody agreed to a retry.
FileInUseAnswer AskUser(const Engine& engine, std::u16string_view path, uint32_t operation,
                        std::u16string_view holder) {
  std::u16string text = Question(path, operation, holder);
  UINT buttons = operation == PKG_FILE_OPERATION_OVERWRITE ? kOverwriteButtons : kDeleteButtons;
  switch (MessageBoxW(report::OwnerWindow(), text.c_str(), engine.display_name.c_str(), buttons)) {
    case IDRETRY: return PKG_FILE_IN_USE_RETRY;
    case IDIGNORE: return PKG_FILE_IN_USE_SKIP;
    default: return PKG_FILE_IN_USE_ABORT;
  }
}

}  // namespace

bool IsInUseResult(HRESULT hr) {
  return hr == HResultFromError(ERROR_SHARING_VIOLATION) ||
         hr == HResultFromError(ERROR_LOCK_VIOLATION) || hr == HResultFromError(ERROR_ACCESS_DENIED);
}

FileInUseAnswer FileInUse(Engine& engine, std::u16string_view path, uint32_t operation) {
  int32_t choice = CallFileInUseHook(engine, path, operation);
  if (choice == PKG_FILE_IN_USE_SKIP || choice == PKG_FILE_IN_USE_ABORT) return choice;
  int32_t manner = engine.silent ? kAutomatic : choice != 0 ? choice : kAsk;

  std::u16string holder;
  bool own_chain = false;
  FindModuleUser(path, holder, &own_chain);
  if (IsInstallerItself(engine, holder, own_chain)) {
    ReleaseOwnModule(path);
    return PKG_FILE_IN_USE_RETRY_HANDLED;
  }
  // The user is asked, or the holder given time to close: the log is on disk meanwhile.
  report::Flush();
  if (manner == kAsk) return AskUser(engine, path, operation, holder);
  if (manner == kAutomatic) {
    return CloseProcessesByName(holder) ? PKG_FILE_IN_USE_RETRY_HANDLED : PKG_FILE_IN_USE_ABORT;
  }
  return manner;
}

}  // namespace stowkit
