// The skin button on real windows, driven by real mouse input.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "resources/resource.h"
#include "tests/support/mouseinput.h"
#include "tests/support/parentwindow.h"
#include "tests/support/pixels.h"
#include "tests/support/pump.h"
#include "ui/xskinbutton.h"

namespace {

using testsupport::CentreOf;
using testsupport::Click;
using testsupport::MoveMouse;
using testsupport::PictureAt;
using testsupport::PumpUntil;
using testsupport::ShownAt;

constexpr UINT kNormal = IDB_START_UPDATE_NORMAL, kPressed = IDB_START_UPDATE_PRESSED, kHover = IDB_START_UPDATE_HOVER;

// Keeps the messages that reach the button.
class SpyButton : public CxSkinButton {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(message);
    const LRESULT result = CxSkinButton::WindowProc(message, wParam, lParam);
    if (message == WM_LBUTTONUP) cursorAfterRelease = ::GetCursor();
    return result;
  }
  int Seen(UINT message) const {
    int n = 0;
    for (UINT m : seen) n += m == message;
    return n;
  }
  std::vector<UINT> seen;
  HCURSOR cursorAfterRelease = reinterpret_cast<HCURSOR>(-1);
};

class Button : public ::testing::Test {
 protected:
  // A 74 × 20 button at (20, 20) of the parent, with the update look's faces.
  void Make(CxSkinButton& button, DWORD type, int id = 1, int x = 20, int y = 20, DWORD extra = 0) {
    ASSERT_TRUE(button.Create("BUTTON", "", WS_CHILD | WS_VISIBLE | type | extra, RECT{x, y, x + 74, y + 20}, &parent, id));
    button.LoadFaces(kNormal, kPressed, kHover, 0, 0, 0, 0, 0, 0);
    button.Invalidate();
    testsupport::PumpMessages();
  }
  // A point of the parent well away from every button.
  POINT Outside() const { return testsupport::ToScreen(parent.m_hWnd, POINT{300, 250}); }
  void SetUp() override {
    MoveMouse(Outside());
  }
  void TearDown() override {
    MoveMouse(Outside());
  }

  testsupport::ParentWindow parent;
};

TEST_F(Button, AttachingMakesItOwnerDrawnWithoutTheHelpFilesCode) {
  CxSkinButton button;
  Make(button, BS_PUSHBUTTON);
  EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
  EXPECT_EQ(button.m_nKind, 0);
  // Wine's winhlp32.exe has no cursor 106: the pointer set at release stays null.
  EXPECT_EQ(button.m_hHandCursor, nullptr);
  EXPECT_EQ(::GetModuleHandleA("winhlp32.exe"), nullptr) << "read as a data file, not mapped as a module";
}

TEST_F(Button, PressDragOffAndBackThenReleaseOutsideGivesNoClick) {
  CxSkinButton button;
  Make(button, BS_PUSHBUTTON);
  const HWND hWnd = button.m_hWnd;
  const POINT centre = CentreOf(hWnd);

  MoveMouse(centre);
  EXPECT_TRUE(button.m_bHover);
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kHover); })) << "hover face";

  testsupport::WaitOutDoubleClick();
  testsupport::PressLeft();
  EXPECT_TRUE(button.m_bHeld);
  EXPECT_FALSE(button.m_bHover) << "no hover while held";
  EXPECT_EQ(::GetCapture(), hWnd);
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kPressed); })) << "pressed face";

  MoveMouse(Outside());
  EXPECT_EQ(button.SendMessage(BM_GETSTATE) & BST_PUSHED, 0);
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kNormal); })) << "off the button";
  EXPECT_FALSE(button.m_bHover);

  MoveMouse(centre);
  EXPECT_NE(button.SendMessage(BM_GETSTATE) & BST_PUSHED, 0);
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kPressed); })) << "back on it";

  MoveMouse(Outside());
  testsupport::ReleaseLeft();
  testsupport::PumpFor(50);
  EXPECT_EQ(parent.Count(1, BN_CLICKED), 0);
  EXPECT_FALSE(button.m_bHeld);
  EXPECT_EQ(::GetCapture(), nullptr);

  Click(centre);
  EXPECT_TRUE(testsupport::PumpUntil([&] { return parent.Count(1, BN_CLICKED) == 1; }))
      << "a release over the button clicks";
}

TEST_F(Button, ADoubleClickIsTwoPressesAndTwoClicks) {
  SpyButton box;
  Make(box, BS_AUTOCHECKBOX);
  ASSERT_EQ(box.m_nKind, 2);
  testsupport::DoubleClick(CentreOf(box.m_hWnd));
  testsupport::PumpUntil([&] { return parent.Count(1, BN_CLICKED) == 2; });
  ASSERT_EQ(box.Seen(WM_LBUTTONDBLCLK), 1) << "the second press came as a double click";
  EXPECT_EQ(box.Seen(WM_LBUTTONDOWN), 2);
  EXPECT_EQ(parent.Count(1, BN_CLICKED), 2);
  EXPECT_EQ(parent.Count(1, BN_DOUBLECLICKED), 0);
  EXPECT_EQ(box.SendMessage(BM_GETCHECK), 0) << "checked and unchecked again";
}

TEST_F(Button, ACheckBoxTogglesOnClickAndSpace) {
  CxSkinButton box;
  Make(box, BS_AUTOCHECKBOX);
  const HWND hWnd = box.m_hWnd;
  Click(CentreOf(hWnd));
  EXPECT_EQ(box.SendMessage(BM_GETCHECK), 1);
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kPressed); })) << "checked shows the pressed face";
  box.SendMessage(WM_KEYDOWN, VK_SPACE, 0);
  box.SendMessage(WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(box.SendMessage(BM_GETCHECK), 0);

  CxSkinButton push;
  Make(push, BS_PUSHBUTTON, 2, 120);
  push.SendMessage(WM_KEYDOWN, VK_SPACE, 0);
  push.SendMessage(WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(push.SendMessage(BM_GETCHECK), 0);
}

TEST_F(Button, SetCheckOnAPushButtonLeavesItUncheckedAndRepaints) {
  CxSkinButton push;
  Make(push, BS_PUSHBUTTON);
  testsupport::PumpFor(50);
  ::ValidateRect(push.m_hWnd, nullptr);
  EXPECT_EQ(push.SendMessage(BM_SETCHECK, 1), 0);
  EXPECT_EQ(push.SendMessage(BM_GETCHECK), 0);
  EXPECT_TRUE(::GetUpdateRect(push.m_hWnd, nullptr, FALSE)) << "invalidated";

  CxSkinButton alreadyOwnerDrawn;  // 11 AND 3 = 3: a check box
  Make(alreadyOwnerDrawn, BS_OWNERDRAW, 2, 120);
  alreadyOwnerDrawn.SendMessage(BM_SETCHECK, 1);
  EXPECT_EQ(alreadyOwnerDrawn.SendMessage(BM_GETCHECK), 1);
}

TEST_F(Button, ACheckedRadioButtonUnchecksTheRestOfItsGroupByPost) {
  CxSkinButton a, b, c, d;
  Make(a, BS_AUTORADIOBUTTON, 1, 20, 20, WS_GROUP);
  Make(b, BS_AUTORADIOBUTTON, 2, 20, 50);
  Make(c, BS_AUTORADIOBUTTON, 3, 20, 80);
  framework::CWnd edit;  // another class in the same group ignores the message
  ASSERT_TRUE(edit.Create("EDIT", "", WS_CHILD | WS_VISIBLE, RECT{20, 110, 94, 130}, &parent, 4));
  Make(d, BS_AUTORADIOBUTTON, 5, 120, 20, WS_GROUP);
  a.SendMessage(BM_SETCHECK, 1);
  d.SendMessage(BM_SETCHECK, 1);
  testsupport::PumpMessages();

  c.SendMessage(BM_SETCHECK, 1);
  EXPECT_EQ(a.SendMessage(BM_GETCHECK), 1) << "posted, not sent";
  testsupport::PumpMessages();
  EXPECT_EQ(a.SendMessage(BM_GETCHECK), 0);
  EXPECT_EQ(c.SendMessage(BM_GETCHECK), 1);
  EXPECT_EQ(d.SendMessage(BM_GETCHECK), 1) << "another group";

  Click(CentreOf(b.m_hWnd));
  testsupport::PumpMessages();
  EXPECT_EQ(b.SendMessage(BM_GETCHECK), 1);
  EXPECT_EQ(c.SendMessage(BM_GETCHECK), 0);
  EXPECT_EQ(a.SendMessage(BM_GETCHECK), 0);
  EXPECT_EQ(d.SendMessage(BM_GETCHECK), 1);
}

TEST_F(Button, AHiddenRadioButtonStillUnchecksItsGroup) {
  // The group walk skips hidden items, so it never comes back to this one.
  CxSkinButton hidden, shown;
  Make(hidden, BS_AUTORADIOBUTTON, 1, 20, 20, WS_GROUP);
  Make(shown, BS_AUTORADIOBUTTON, 2, 20, 50);
  shown.SendMessage(BM_SETCHECK, 1);
  testsupport::PumpMessages();
  hidden.ShowWindow(SW_HIDE);
  hidden.SendMessage(BM_SETCHECK, 1);
  testsupport::PumpMessages();
  EXPECT_EQ(shown.SendMessage(BM_GETCHECK), 0);
  EXPECT_EQ(hidden.SendMessage(BM_GETCHECK), 1);
}

TEST_F(Button, HoverLooksComeAndGoWithThePointer) {
  CxSkinButton button;
  Make(button, BS_PUSHBUTTON);
  const HWND hWnd = button.m_hWnd;
  MoveMouse(CentreOf(hWnd));
  EXPECT_TRUE(button.m_bHover);
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_HAND));
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kHover); }));
  MoveMouse(Outside());
  EXPECT_TRUE(PumpUntil([&] { return !button.m_bHover; })) << "the leave notice";
  EXPECT_TRUE(PumpUntil([&] { return ShownAt(hWnd, 2, 2) == PictureAt(kNormal); }));
}

TEST_F(Button, TheReleaseSetsTheMissingHandPointerUntilTheNextMove) {
  SpyButton button;
  Make(button, BS_PUSHBUTTON);
  const POINT centre = CentreOf(button.m_hWnd);
  Click(centre);
  EXPECT_EQ(button.cursorAfterRelease, nullptr);
  MoveMouse(POINT{centre.x + 1, centre.y});
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_HAND));
}

TEST_F(Button, LosingTheFocusWhileHeldReleasesTheMouse) {
  CxSkinButton button, other;
  Make(button, BS_PUSHBUTTON);
  Make(other, BS_PUSHBUTTON, 2, 120);
  MoveMouse(CentreOf(button.m_hWnd));
  testsupport::WaitOutDoubleClick();
  testsupport::PressLeft();
  ASSERT_EQ(::GetCapture(), button.m_hWnd);
  other.SetFocus();
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_FALSE(button.m_bHeld);
  testsupport::ReleaseLeft();
  testsupport::PumpFor(50);
  EXPECT_EQ(parent.Count(1, BN_CLICKED), 0);
}

}  // namespace
