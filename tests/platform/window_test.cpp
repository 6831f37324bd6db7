// Windows of this process: classes, making and destroying, texts, fields, finding and
// walking, the foreground.
#include <unistd.h>

#include <gtest/gtest.h>

#include "coredll/windows.h"
#include "support/temp_device.h"

namespace stowkit {
namespace {

struct Events {
  std::vector<std::pair<HWND, UINT>> calls;
  LPVOID create_param = nullptr;
  bool refuse_create = false;
};
Events* events = nullptr;

LRESULT Logging(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (events) {
    events->calls.push_back({window, message});
    if (message == WM_CREATE) {
      events->create_param = reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams;
      if (events->refuse_create) return -1;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = Logging;
    window_class.lpszClassName = u"WindowTestClass";
    ASSERT_TRUE(RegisterClassW(&window_class));
  }
  static void TearDownTestSuite() { UnregisterClassW(u"WindowTestClass", nullptr); }
  void SetUp() override { events = &events_; }
  void TearDown() override {
    for (HWND w : made_) {
      if (IsWindow(w)) DestroyWindow(w);
    }
    events = nullptr;
  }

  HWND Make(const char16_t* title, DWORD style = 0, HWND parent = nullptr, int id = 0) {
    HWND w = CreateWindowExW(0, u"windowtestclass", title, style, 0, 0, 10, 10, parent,
                             reinterpret_cast<HMENU>(intptr_t(id)), nullptr, &events_);
    if (w) made_.push_back(w);
    return w;
  }

  std::vector<UINT> MessagesOf(HWND window) const {
    std::vector<UINT> list;
    for (auto [w, m] : events_.calls) {
      if (w == window) list.push_back(m);
    }
    return list;
  }

  testing::TempDevice device_;
  Events events_;
  std::vector<HWND> made_;
};

TEST_F(WindowTest, ClassesAreNamedOnceAndFoundWithoutCase) {
  WNDCLASSW again = {};
  again.lpfnWndProc = Logging;
  again.lpszClassName = u"WINDOWTESTCLASS";
  EXPECT_FALSE(RegisterClassW(&again));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
  again.lpszClassName = u"static";
  EXPECT_FALSE(RegisterClassW(&again)) << "a built-in class";
  again.lpfnWndProc = nullptr;
  again.lpszClassName = u"NoProcedure";
  EXPECT_FALSE(RegisterClassW(&again));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_FALSE(UnregisterClassW(u"NoSuchClass", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST_F(WindowTest, MakingAndDestroyingSendsCreateAndDestroyToEveryWindow) {
  HWND top = Make(u"top");
  ASSERT_NE(top, nullptr) << GetLastError();
  EXPECT_EQ(events_.create_param, &events_) << "WM_CREATE carries the creation parameter";
  HWND child = Make(u"child", WS_CHILD | WS_VISIBLE, top, 5);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), top);
  EXPECT_EQ(GetWindow(top, GW_CHILD), child);
  EXPECT_EQ(GetDlgCtrlID(child), 5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(top) >> 10, uintptr_t(getpid()))
      << "a handle names its process";

  EXPECT_TRUE(DestroyWindow(top));
  EXPECT_EQ(MessagesOf(top), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
  EXPECT_EQ(MessagesOf(child), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(top));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, CreationRefusedByTheProcedureOrForABadParentFails) {
  events_.refuse_create = true;
  EXPECT_EQ(Make(u"refused"), nullptr);
  EXPECT_EQ(FindWindowW(u"WindowTestClass", u"refused"), nullptr);
  events_.refuse_create = false;
  HWND nowhere = reinterpret_cast<HWND>(uintptr_t(0x4321));
  EXPECT_EQ(Make(u"orphan", WS_CHILD, nowhere), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(Make(u"owned", 0, nowhere), nullptr);
}

TEST_F(WindowTest, CloseDestroysThroughTheDefaultProcedure) {
  HWND window = Make(u"closing");
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, TextsAreSetReadAndCut) {
  HWND window = Make(u"first");
  WCHAR text[32];
  EXPECT_EQ(GetWindowTextW(window, text, 32), 5);
  EXPECT_EQ(std::u16string(text), u"first");
  EXPECT_TRUE(SetWindowTextW(window, u"second title"));
  EXPECT_EQ(GetWindowTextLengthW(window), 12);
  EXPECT_EQ(GetWindowTextW(window, text, 7), 6) << "cut to fit, with its terminator";
  EXPECT_EQ(std::u16string(text), u"second");
  EXPECT_TRUE(SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"third")));
  EXPECT_EQ(SendMessageW(window, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(text)), 5);
  EXPECT_EQ(std::u16string(text), u"third");
  EXPECT_EQ(FindWindowW(nullptr, u"third"), window);
  EXPECT_EQ(GetWindowTextW(reinterpret_cast<HWND>(uintptr_t(0x4321)), text, 32), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, FieldsHoldValuesOfPointerSize) {
  HWND window = Make(u"fields");
  LONG_PTR pointer = reinterpret_cast<LONG_PTR>(&events_);
  EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, pointer), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "a stored 0 is not a failure";
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), pointer);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(Logging));
  EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), 0) << "only dialogs have it";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));

  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_FALSE(ShowWindow(window, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WindowTest, TopLevelWindowsAreFoundAndWalkedInTheOrderTheyWereMade) {
  HWND a = Make(u"alpha"), b = Make(u"beta"), c = Make(u"gamma");
  Make(u"alpha child", WS_CHILD, a, 1);
  EXPECT_EQ(FindWindowW(u"WINDOWTESTCLASS", u"beta"), b) << "class without case";
  EXPECT_EQ(FindWindowW(u"WindowTestClass", u"BETA"), nullptr) << "title exactly";
  EXPECT_EQ(FindWindowW(nullptr, u"alpha child"), nullptr) << "children are not top-level";
  EXPECT_EQ(FindWindowW(u"WindowTestClass", nullptr), a);

  EXPECT_EQ(GetWindow(b, GW_HWNDFIRST), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
  EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(c, GW_HWNDPREV), b);
  EXPECT_EQ(GetWindow(a, 99), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  std::vector<HWND> listed;
  EnumWindows([](HWND w, LPARAM list) {
    auto* l = reinterpret_cast<std::vector<HWND>*>(list);
    l->push_back(w);
    return BOOL(l->size() < 2);
  }, reinterpret_cast<LPARAM>(&listed));
  EXPECT_EQ(listed, (std::vector<HWND>{a, b})) << "the walk stops when told";

  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(c, &process), GetCurrentThreadId());
  EXPECT_EQ(process, GetCurrentProcessId());
}

TEST_F(WindowTest, TheForegroundIsATopLevelWindowUntilItGoes) {
  HWND top = Make(u"front");
  HWND child = Make(u"inside", WS_CHILD, top, 1);
  EXPECT_TRUE(SetForegroundWindow(child));
  EXPECT_EQ(GetForegroundWindow(), top);
  DestroyWindow(top);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_FALSE(SetForegroundWindow(top));
}

}  // namespace
}  // namespace stowkit
