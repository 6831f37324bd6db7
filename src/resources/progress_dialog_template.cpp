#include "resources/progress_dialog_template.h"

#include "resources/dialog_builder.h"

namespace stowkit {
namespace {

constexpr WORD kStaticClass = 0x0082;
constexpr DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFOREGROUND | DS_CENTER | DS_SETFONT;
constexpr DWORD kTextStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;

DialogBuilder BuildTemplate() {
  DialogBuilder builder(kDialogStyle, 0, 0, 120, 85, u"");
  builder.Add(kTextStyle, 6, 1, 111, 29, kStatusLineId, kStaticClass, u"")
      .Add(WS_CHILD | WS_VISIBLE | WS_BORDER, 28, 68, 90, 14, kProgressBarId,
           u"msctls_progress32", u"Progress1")
      .Add(WS_CHILD | WS_VISIBLE | SS_ICON, 2, 64, 20, 20, kIconControlId, kStaticClass,
           kNormalIcon)
      .Add(kTextStyle, 6, 31, 111, 32, kDetailAreaId, kStaticClass, u"");
  return builder;
}

}  // namespace

const DLGTEMPLATE* ProgressDialogTemplate() {
  static DialogBuilder builder = BuildTemplate();
  return builder.Template();
}

}  // namespace stowkit
