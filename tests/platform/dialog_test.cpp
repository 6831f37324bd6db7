// Dialogs from in-memory templates: initialisation, controls, the dialog manager's default
// handling, the shell's dialog calls, and templates that must be refused.
#include <gtest/gtest.h>

#include "coredll/aygshell.h"
#include "coredll/windows.h"
#include "resources/dialog_builder.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | DS_SETFONT;
constexpr WORD kStatic = 0x0082;

struct DialogLog {
  HWND first_control = nullptr;
  LPARAM init_param = 0;
  std::vector<std::pair<UINT, WPARAM>> messages;
};

INT_PTR Logging(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    if (auto* log = reinterpret_cast<DialogLog*>(lparam)) {
      log->first_control = reinterpret_cast<HWND>(wparam);
      log->init_param = lparam;
    }
    return TRUE;
  }
  auto* log = reinterpret_cast<DialogLog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (log) log->messages.push_back({message, wparam});
  return message == WM_COMMAND;  // everything else gets the default handling
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
  }
  void TearDown() override {
    for (HWND d : dialogs_) {
      if (!IsWindow(d)) continue;
      SetWindowLongPtrW(d, DWLP_USER, 0);  // its log has gone with the test's stack
      DestroyWindow(d);
    }
  }

  // The shape of the installer's progress dialog.
  static DialogBuilder ProgressShape(DWORD style = kDialogStyle) {
    DialogBuilder b(style, 0, 0, 120, 85, u"Installing");
    b.Add(WS_VISIBLE, 6, 1, 111, 29, 1002, kStatic, u"status")
        .Add(WS_VISIBLE | WS_BORDER, 28, 68, 90, 14, 1000, u"msctls_progress32", u"Progress1")
        .Add(WS_VISIBLE | SS_ICON, 2, 64, 20, 20, 1003, kStatic, WORD(103))
        .Add(WS_VISIBLE, 6, 31, 111, 32, 1005, kStatic, u"");
    return b;
  }

  HWND Create(DialogBuilder& builder, DialogLog* log = nullptr) {
    HWND d = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), builder.Template(), nullptr,
                                        Logging, reinterpret_cast<LPARAM>(log));
    if (d) dialogs_.push_back(d);
    return d;
  }

  testing::TempDevice device_;
  std::vector<HWND> dialogs_;
};

TEST_F(DialogTest, ATemplateBecomesADialogWithItsControls) {
  DialogBuilder builder = ProgressShape();
  DialogLog log;
  HWND dialog = Create(builder, &log);
  ASSERT_NE(dialog, nullptr) << GetLastError();
  EXPECT_EQ(log.init_param, reinterpret_cast<LPARAM>(&log));
  EXPECT_EQ(log.first_control, GetDlgItem(dialog, 1002));
  EXPECT_EQ(FindWindowW(u"Dialog", u"Installing"), dialog);
  EXPECT_FALSE(IsWindowVisible(dialog)) << "the template does not ask for WS_VISIBLE";

  WCHAR text[32];
  EXPECT_EQ(GetDlgItemTextW(dialog, 1002, text, 32), 6u);
  EXPECT_EQ(std::u16string(text), u"status");
  EXPECT_TRUE(SetDlgItemTextW(dialog, 1005, u"\\Windows\\app.dll"));
  EXPECT_EQ(GetDlgItemTextW(dialog, 1005, text, 32), 16u);
  EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));
  EXPECT_EQ(GetParent(GetDlgItem(dialog, 1000)), dialog);
}

TEST_F(DialogTest, TheProgressBarKeepsItsPositionWithinItsRange) {
  DialogBuilder builder = ProgressShape();
  HWND bar = GetDlgItem(Create(builder), 1000);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100) << "0..100 at first";
  EXPECT_EQ(SendMessageW(bar, PBM_SETRANGE32, 0, 10), MAKELONG(0, 100));
  EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 4, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 25, 0), 4);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 10) << "kept within the range";
  SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 5));
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 5) << "a narrower range pulls it in";
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar, PBM_SETSTEP, 20, 0);
  SendMessageW(bar, PBM_STEPIT, 0, 0);
  SendMessageW(bar, PBM_DELTAPOS, WPARAM(-3), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 22);
}

TEST_F(DialogTest, AnIconControlShowsTheIconItsTemplateNames) {
  DialogBuilder builder = ProgressShape();
  HWND icon = GetDlgItem(Create(builder), 1003);
  HICON normal = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(103));
  HICON done = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(104));
  ASSERT_NE(normal, nullptr);
  EXPECT_NE(done, normal);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(103)), normal) << "loaded once";
  EXPECT_EQ(SendMessageW(icon, STM_GETIMAGE, IMAGE_ICON, 0), reinterpret_cast<LRESULT>(normal));
  EXPECT_EQ(SendMessageW(icon, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(done)),
            reinterpret_cast<LRESULT>(normal));
  EXPECT_EQ(SendMessageW(icon, STM_GETIMAGE, IMAGE_ICON, 0), reinterpret_cast<LRESULT>(done));

  EXPECT_NE(LoadIconW(nullptr, IDI_QUESTION), nullptr);
  EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(103)), nullptr) << "not a system icon";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  ASSERT_NE(wait, nullptr);
  HCURSOR before = SetCursor(wait);
  EXPECT_EQ(SetCursor(before), wait);
}

TEST_F(DialogTest, TheDefaultHandlingTurnsCloseIntoCancelAndEndDialogHides) {
  DialogBuilder builder = ProgressShape(kDialogStyle | WS_VISIBLE);
  DialogLog log;
  HWND dialog = Create(builder, &log);
  EXPECT_TRUE(IsWindowVisible(dialog));
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  ASSERT_FALSE(log.messages.empty());
  EXPECT_EQ(log.messages.back(), (std::pair<UINT, WPARAM>{WM_COMMAND, IDCANCEL}));
  EXPECT_TRUE(IsWindow(dialog)) << "the dialog procedure decides";

  EXPECT_TRUE(EndDialog(dialog, 3));
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_TRUE(IsWindow(dialog)) << "until it is destroyed";
}

TEST_F(DialogTest, IsDialogMessageDispatchesOnlyWhatIsForTheDialog) {
  DialogBuilder builder = ProgressShape();
  DialogLog log;
  HWND dialog = Create(builder, &log);
  MSG for_dialog = {dialog, WM_COMMAND, 7, 0, 0, {0, 0}};
  MSG for_control = {GetDlgItem(dialog, 1002), WM_USER, 0, 0, 0, {0, 0}};
  MSG for_thread = {nullptr, WM_USER, 0, 0, 0, {0, 0}};
  EXPECT_TRUE(IsDialogMessageW(dialog, &for_dialog));
  EXPECT_EQ(log.messages.back(), (std::pair<UINT, WPARAM>{WM_COMMAND, 7}));
  EXPECT_TRUE(IsDialogMessageW(dialog, &for_control));
  EXPECT_FALSE(IsDialogMessageW(dialog, &for_thread));
}

TEST_F(DialogTest, TheShellsDialogCallsTakeOnlyDialogs) {
  HMODULE shell = LoadLibraryW(u"aygshell.dll");
  ASSERT_NE(shell, nullptr);
  auto init = reinterpret_cast<PFN_SHInitDialog>(
      GetProcAddressW(shell, MAKEINTRESOURCEW(SHINITDIALOG_ORDINAL)));
  auto done = reinterpret_cast<PFN_SHDoneButton>(
      GetProcAddressW(shell, MAKEINTRESOURCEW(SHDONEBUTTON_ORDINAL)));
  ASSERT_NE(init, nullptr);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddressW(shell, u"SHInitDialog")),
            reinterpret_cast<void*>(init)) << "published by name and by number";
  EXPECT_EQ(GetProcAddressW(shell, MAKEINTRESOURCEW(4242)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  DialogBuilder builder = ProgressShape();
  HWND dialog = Create(builder);

  SHINITDLGINFO info = {SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
  EXPECT_TRUE(init(&info));
  EXPECT_TRUE(done(dialog, SHDB_HIDE));
  EXPECT_FALSE(done(dialog, 7));
  info.hDlg = GetDlgItem(dialog, 1002);
  EXPECT_FALSE(init(&info)) << "a control is no dialog";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  info = {0, dialog, 0};
  EXPECT_FALSE(init(&info));
  FreeLibrary(shell);
}

TEST_F(DialogTest, BadTemplatesAreRefusedWithTheirReason) {
  auto refused = [&](DialogBuilder& b) {
    SetLastError(0);
    return Create(b) == nullptr ? GetLastError() : DWORD(0);
  };
  EXPECT_EQ(CreateDialogIndirectParamW(nullptr, nullptr, nullptr, Logging, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  DialogBuilder extended(kDialogStyle, 0, 0, 10, 10, u"x");
  extended.words()[0] = 1;
  extended.words()[1] = 0xFFFF;  // the extended form's signature
  EXPECT_EQ(refused(extended), DWORD(ERROR_INVALID_PARAMETER));

  DialogBuilder listbox(kDialogStyle, 0, 0, 10, 10, u"x");
  listbox.Add(WS_VISIBLE, 0, 0, 5, 5, 1, WORD(0x0083), u"");
  EXPECT_EQ(refused(listbox), DWORD(ERROR_CANNOT_FIND_WND_CLASS));

  DialogBuilder unknown(kDialogStyle, 0, 0, 10, 10, u"x");
  unknown.Add(WS_VISIBLE, 0, 0, 5, 5, 1, u"NoSuchControl", u"");
  EXPECT_EQ(refused(unknown), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(FindWindowW(u"Dialog", u"x"), nullptr) << "nothing is left half made";

  std::u16string endless(5000, u'a');
  DialogBuilder long_title(kDialogStyle, 0, 0, 10, 10, endless);
  EXPECT_EQ(refused(long_title), DWORD(ERROR_INVALID_PARAMETER));

  DialogBuilder own_class(kDialogStyle, 0, 0, 10, 10, u"x");
  std::vector<WORD>& words = own_class.words();
  words.insert(words.begin() + 10, WORD('Z'));  // the class name "Z" before its 0
  EXPECT_EQ(refused(own_class), DWORD(ERROR_NOT_SUPPORTED));
}

}  // namespace
}  // namespace stowkit
