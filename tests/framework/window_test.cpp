// The window layer on real windows: objects found from their HWND, subclassing, reflection of
// control notifications to the control's own object, and the modal dialog loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/wnd.h"
#include "tests/support/pump.h"

namespace {

constexpr int kPlainDialog = 300;
constexpr int kItem = 301;
constexpr int kEdit = 302;

// Records what reaches its WindowProc.
class RecordingWnd : public framework::CWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(message);
    if (message == WM_CREATE) objectAtCreate = FromHandlePermanent(m_hWnd);
    return CWnd::WindowProc(message, wParam, lParam);
  }
  void PostNcDestroy() override { ncDestroyed = true; }
  bool Saw(UINT message) const {
    for (UINT m : seen)
      if (m == message) return true;
    return false;
  }
  std::vector<UINT> seen;
  CWnd* objectAtCreate = nullptr;
  bool ncDestroyed = false;
};

// A child control that keeps what it is sent back by its parent, when it wants it.
class ReflectingButton : public framework::CWnd {
 public:
  explicit ReflectingButton(bool take) : take_(take) {}
  BOOL OnChildNotify(UINT message, WPARAM, LPARAM, LRESULT* pResult) override {
    reflected.push_back(message);
    if (!take_) return FALSE;
    *pResult = 1;
    return TRUE;
  }
  void PreSubclassWindow() override { attachedStyle = GetStyle(); }
  std::vector<UINT> reflected;
  DWORD attachedStyle = 0;

 private:
  bool take_;
};

HWND MakeTopLevel(framework::CWnd& wnd) {
  const RECT rc{0, 0, 200, 100};
  EXPECT_TRUE(wnd.CreateEx(0, framework::DefaultWndClass(), "test", WS_POPUP | WS_VISIBLE, rc,
                           nullptr, 0));
  return wnd.m_hWnd;
}

TEST(Window, TheObjectIsFoundFromItsWindowUntilTheWindowGoes) {
  RecordingWnd wnd;
  const HWND hWnd = MakeTopLevel(wnd);
  ASSERT_NE(hWnd, nullptr);
  EXPECT_EQ(wnd.objectAtCreate, &wnd) << "bound at WM_NCCREATE, before WM_CREATE";
  EXPECT_EQ(framework::CWnd::FromHandlePermanent(hWnd), &wnd);
  EXPECT_EQ(::GetWindowLongPtrA(hWnd, GWLP_USERDATA), 0) << "user data stays free";
  ::DestroyWindow(hWnd);
  EXPECT_TRUE(wnd.Saw(WM_NCDESTROY));
  EXPECT_TRUE(wnd.ncDestroyed);
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  EXPECT_EQ(framework::CWnd::FromHandlePermanent(hWnd), nullptr);
}

TEST(Window, DestroyingTheObjectDestroysAWindowItCreated) {
  HWND hWnd = nullptr;
  {
    RecordingWnd wnd;
    hWnd = MakeTopLevel(wnd);
    ASSERT_TRUE(::IsWindow(hWnd));
  }
  EXPECT_FALSE(::IsWindow(hWnd));
}

TEST(Window, SubclassingTakesOverASystemControlAndGivesItBack) {
  RecordingWnd parent;
  MakeTopLevel(parent);
  const HWND button = ::CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                        0, 0, 50, 20, parent.m_hWnd, reinterpret_cast<HMENU>(7),
                                        nullptr, nullptr);
  const LONG_PTR original = ::GetWindowLongPtrA(button, GWLP_WNDPROC);
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.SubclassWindow(button));
  EXPECT_FALSE(RecordingWnd().SubclassWindow(button)) << "one object per window";
  ::SetWindowTextA(button, "changed");
  EXPECT_TRUE(wnd.Saw(WM_SETTEXT));
  EXPECT_EQ(wnd.GetWindowText(), "changed") << "default processing reached the button";
  EXPECT_EQ(wnd.UnsubclassWindow(), button);
  EXPECT_EQ(::GetWindowLongPtrA(button, GWLP_WNDPROC), original);
  EXPECT_EQ(framework::CWnd::FromHandlePermanent(button), nullptr);
}

TEST(Window, ACreatedSystemControlIsSubclassedAndItsAttachHookSeesItsStyle) {
  RecordingWnd parent;
  MakeTopLevel(parent);
  ReflectingButton button(false);
  const RECT rc{0, 0, 40, 20};
  ASSERT_TRUE(button.Create("BUTTON", "", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, rc, &parent, 1000));
  EXPECT_EQ(framework::CWnd::FromHandlePermanent(button.m_hWnd), &button);
  EXPECT_EQ(button.attachedStyle & 0xFF, static_cast<DWORD>(BS_AUTOCHECKBOX));
  EXPECT_EQ(::GetDlgCtrlID(button.m_hWnd), 1000);
}

TEST(Window, ControlNotificationsGoBackToTheControlFirst) {
  RecordingWnd parent;
  MakeTopLevel(parent);
  const RECT rc{0, 0, 40, 20};
  ReflectingButton keeper(true);
  ASSERT_TRUE(keeper.Create("BUTTON", "k", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, rc, &parent, 11));
  ReflectingButton passer(false);
  ASSERT_TRUE(passer.Create("BUTTON", "p", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, rc, &parent, 12));
  ::UpdateWindow(parent.m_hWnd);
  testsupport::PumpMessages();
  // The owner-drawn button's paint request went to the button object, not to the parent.
  EXPECT_FALSE(keeper.reflected.empty());
  EXPECT_FALSE(parent.Saw(WM_DRAWITEM));

  parent.seen.clear();
  ::SendMessageA(passer.m_hWnd, BM_CLICK, 0, 0);
  ASSERT_FALSE(passer.reflected.empty());
  EXPECT_EQ(passer.reflected.back(), static_cast<UINT>(WM_COMMAND));
  EXPECT_TRUE(parent.Saw(WM_COMMAND)) << "declined by the child, handled by the parent";

  parent.seen.clear();
  ::SendMessageA(keeper.m_hWnd, BM_CLICK, 0, 0);
  EXPECT_FALSE(parent.Saw(WM_COMMAND)) << "kept by the child";
}

class PlainDialog : public framework::CDialog {
 public:
  PlainDialog() : CDialog(kPlainDialog) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    boundAtInit = FromHandlePermanent(m_hWnd) == this;
    if (action) action(*this);
    return TRUE;
  }
  void DoDataExchange() override { DDX_Control(kItem, item); }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_KEYDOWN) keys.push_back(pMsg->wParam);
    if (swallowEscape && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE) return TRUE;
    return FALSE;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && wParam == 5) {
      KillTimer(5);
      EndDialog(42);
      return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
  }
  void (*action)(PlainDialog&) = nullptr;
  bool boundAtInit = false;
  bool swallowEscape = false;
  std::vector<WPARAM> keys;
  RecordingWnd item;
};

TEST(Dialog, EndDialogEndsTheModalRunWithItsResult) {
  PlainDialog dlg;
  dlg.action = [](PlainDialog& d) { d.SetTimer(5, 10); };
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_TRUE(dlg.boundAtInit);
  EXPECT_EQ(dlg.m_hWnd, nullptr) << "the window is gone when DoModal returns";
}

TEST(Dialog, DataExchangeBindsItemsByTheirId) {
  PlainDialog dlg;
  dlg.action = [](PlainDialog& d) {
    EXPECT_EQ(::GetDlgCtrlID(d.item.m_hWnd), kItem);
    d.SetTimer(5, 10);
  };
  dlg.DoModal();
  EXPECT_TRUE(dlg.item.Saw(WM_NCDESTROY)) << "the item's object saw its window go";
  EXPECT_EQ(dlg.item.m_hWnd, nullptr);
}

TEST(Dialog, CloseEndsWithCancel) {
  PlainDialog dlg;
  dlg.action = [](PlainDialog& d) { d.PostMessage(WM_CLOSE); };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST(Dialog, TheLoopOffersKeysToPreTranslateBeforeTheDialogSeesThem) {
  PlainDialog dlg;
  dlg.swallowEscape = true;
  dlg.action = [](PlainDialog& d) {
    // Escape would cancel the dialog if IsDialogMessage saw it; Enter on the default button ends it.
    ::PostMessageA(d.GetDlgItem(kEdit), WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageA(d.GetDlgItem(kEdit), WM_KEYDOWN, VK_RETURN, 0);
  };
  EXPECT_EQ(dlg.DoModal(), IDOK);
  ASSERT_EQ(dlg.keys.size(), 2u);
  EXPECT_EQ(dlg.keys[0], static_cast<WPARAM>(VK_ESCAPE));
}

TEST(Dialog, ModelessChildDialog) {
  RecordingWnd parent;
  MakeTopLevel(parent);
  PlainDialog page;
  ASSERT_TRUE(page.Create(kPlainDialog, &parent));
  EXPECT_TRUE(page.boundAtInit);
  const HWND hWnd = page.m_hWnd;
  page.EndDialog(0);
  EXPECT_FALSE(::IsWindow(hWnd));
}

}  // namespace
