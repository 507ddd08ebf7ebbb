// Wrapping a real multi-line edit control with skinned scroll bars: the windows that take its
// place, where the bars and the corner square go for each scroll and border style, scrolling
// the text with the skinned bars, the bars following the control's scroll state, and unwrapping.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/wnd.h"
#include "tests/support/mouseinput.h"
#include "tests/support/pixels.h"
#include "tests/support/pump.h"
#include "tests/support/testskin.h"
#include "ui/skinscrollwnd.h"

namespace {

using testsupport::SkinColour;

constexpr int kSide = 17;  // as the update window's skin: 153 pixels wide
constexpr int kEditId = 1019;
constexpr RECT kEditRect{20, 20, 220, 170};
constexpr DWORD kBothBars = WS_VSCROLL | WS_HSCROLL;
constexpr UINT kNoticeDialog = 400;

std::string LongText(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += "Line " + std::to_string(i) + " of the notice, long enough to need the horizontal bar too";
    if (i + 1 < lines) text += "\r\n";
  }
  return text;
}

RECT RectIn(HWND hWnd, HWND reference) {
  RECT rc{};
  ::GetWindowRect(hWnd, &rc);
  ::MapWindowPoints(HWND_DESKTOP, reference, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

RECT ClientRectIn(HWND hWnd, HWND reference) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  ::MapWindowPoints(hWnd, reference, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

bool HasStyle(HWND hWnd, DWORD style) { return (::GetWindowLongA(hWnd, GWL_STYLE) & style) == style; }
bool HasExStyle(HWND hWnd, DWORD style) { return (::GetWindowLongA(hWnd, GWL_EXSTYLE) & style) == style; }

SCROLLINFO ScrollInfoOf(HWND hWnd, int bar) {
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_ALL;
  ::GetScrollInfo(hWnd, bar, &si);
  return si;
}

// What the control saw when its own procedure met WM_DESTROY.
struct DestroySeen {
  bool seen = false;
  HWND parent = nullptr;
  LONG_PTR proc = 0;
  LONG_PTR userData = 0;
  bool frameAlive = false;
};
DestroySeen g_destroy;
WNDPROC g_editProc = nullptr;
HWND g_frame = nullptr;

LRESULT CALLBACK WatchDestroy(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    g_destroy.seen = true;
    g_destroy.parent = ::GetParent(hWnd);
    g_destroy.proc = ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC);
    g_destroy.userData = ::GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    g_destroy.frameAlive = ::IsWindow(g_frame) != FALSE;
  }
  return ::CallWindowProcA(g_editProc, hWnd, message, wParam, lParam);
}

class SkinScrollWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::PumpFor(600);  // no double click with the previous test's last click
    skin_ = testsupport::MakeSkin(kSide, 2);
    ASSERT_TRUE(skin_);
    const RECT rc{100, 100, 500, 400};
    ASSERT_TRUE(parent_.CreateEx(0, framework::DefaultWndClass(), "notice", WS_POPUP | WS_VISIBLE, rc, nullptr, 0));
  }

  void TearDown() override { ::ReleaseCapture(); }

  HWND MakeEdit(DWORD style, DWORD exStyle = 0, int lines = 50) {
    const HWND edit = MakeControl("EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | style, exStyle);
    ::SetWindowTextA(edit, LongText(lines).c_str());
    return edit;
  }

  HWND MakeControl(const char* className, DWORD style, DWORD exStyle) {
    return ::CreateWindowExA(exStyle, className, "", WS_CHILD | WS_VISIBLE | style, kEditRect.left, kEditRect.top,
                             Width(kEditRect), Height(kEditRect), parent_.m_hWnd,
                             reinterpret_cast<HMENU>(kEditId), nullptr, nullptr);
  }

  CSkinScrollWnd* Wrap(HWND edit) {
    CSkinScrollWnd* frame = AttachSkinScroll(edit, static_cast<HBITMAP>(skin_.Get()));
    testsupport::PumpFor(150);
    return frame;
  }

  COLORREF PixelInFrame(const CSkinScrollWnd& frame, int x, int y) {
    POINT p{x, y};
    ::MapWindowPoints(frame.m_hWnd, parent_.m_hWnd, &p, 1);
    return testsupport::Snapshot(parent_.m_hWnd).At(p.x, p.y);
  }

  void Click(HWND hWnd, POINT client) {
    testsupport::MoveMouse(testsupport::ToScreen(hWnd, client));
    testsupport::PressLeft();
    testsupport::ReleaseLeft();
  }

  framework::UniqueBitmap skin_;
  framework::CWnd parent_;
};

TEST_F(SkinScrollWndTest, TheFrameTakesTheControlsPlaceAndIdAndHoldsTheClipWindowAndTwoBars) {
  const HWND edit = MakeEdit(kBothBars);
  const RECT before = RectIn(edit, parent_.m_hWnd);
  CSkinScrollWnd* frame = AttachSkinScroll(edit, static_cast<HBITMAP>(skin_.Get()));
  ASSERT_NE(frame, nullptr);
  const HWND clip = ::GetParent(edit);
  const RECT clipBeforeLayout = RectIn(clip, frame->m_hWnd);
  EXPECT_TRUE(::IsRectEmpty(&clipBeforeLayout)) << "the clip window stays empty until the posted layout";
  testsupport::PumpFor(150);

  EXPECT_EQ(::GetDlgItem(parent_.m_hWnd, kEditId), frame->m_hWnd) << "the parent's child with the ID is the frame";
  EXPECT_EQ(frame->GetWindowText(), "SkinScrollBarFrame");
  const RECT frameRect = RectIn(frame->m_hWnd, parent_.m_hWnd);
  EXPECT_TRUE(::EqualRect(&frameRect, &before));
  EXPECT_EQ(::GetParent(clip), frame->m_hWnd);
  EXPECT_EQ(::GetDlgCtrlID(clip), 200);
  char title[32] = {};
  ::GetWindowTextA(clip, title, sizeof(title));
  EXPECT_STREQ(title, "LIMIT");
  EXPECT_EQ(framework::CWnd::FromHandlePermanent(::GetDlgItem(frame->m_hWnd, 100)), &frame->HorizontalBar());
  EXPECT_EQ(framework::CWnd::FromHandlePermanent(::GetDlgItem(frame->m_hWnd, 101)), &frame->VerticalBar());
  EXPECT_FALSE(HasStyle(frame->HorizontalBar().m_hWnd, SBS_VERT));
  EXPECT_TRUE(HasStyle(frame->VerticalBar().m_hWnd, SBS_VERT));
  EXPECT_EQ(::GetWindowLongPtrA(edit, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(frame));
  EXPECT_EQ(::GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&ScrollHostProc));

  // Thickness: the skin's width over nine.
  EXPECT_EQ(frame->BarWidth(), kSide);
  EXPECT_EQ(Width(RectIn(frame->VerticalBar().m_hWnd, frame->m_hWnd)), kSide);
  EXPECT_EQ(Height(RectIn(frame->HorizontalBar().m_hWnd, frame->m_hWnd)), kSide);

  EXPECT_EQ(AttachSkinScroll(edit, static_cast<HBITMAP>(skin_.Get())), frame) << "wrapped once only";
}

struct StyleCase {
  const char* name;
  // An edit control draws a WS_BORDER itself and drops the style, so a border case needs a
  // window that keeps it: nullptr gives a plain window whose scroll bars are the platform's.
  const char* className;
  DWORD style;
  DWORD exStyle;
  bool frameBorder;
  bool frameClientEdge;
  int widthChange;  // of the control's window, against its rectangle before the wrapping
  bool vertical;
  bool horizontal;
  bool left;
};

TEST_F(SkinScrollWndTest, BarsCornerAndClipFollowTheControlsScrollAndBorderStyles) {
  const int edge = 2 * ::GetSystemMetrics(SM_CXEDGE);
  const int border = 2 * ::GetSystemMetrics(SM_CXBORDER);
  const StyleCase cases[] = {
      // Without border or client edge the control ends one pixel wider and higher.
      {"both bars on the right", "EDIT", kBothBars, 0, false, false, 1, true, true, false},
      {"both bars, vertical on the left", "EDIT", kBothBars, WS_EX_LEFTSCROLLBAR, false, false, 1, true, true, true},
      {"only the vertical bar", "EDIT", WS_VSCROLL, 0, false, false, 1, true, false, false},
      {"no scroll bars", "EDIT", 0, 0, false, false, 1, false, false, false},
      {"a client edge moves to the frame", "EDIT", kBothBars, WS_EX_CLIENTEDGE, false, true, -edge, true, true, false},
      // Less the border, plus the pixel every control without a client edge gains.
      {"a border moves to the frame", nullptr, kBothBars | WS_BORDER, 0, true, false, 1 - border, true, true, false},
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const HWND edit = c.className ? MakeEdit(c.style, c.exStyle)
                                  : MakeControl(framework::DefaultWndClass(), c.style, c.exStyle);
    const RECT before = RectIn(edit, parent_.m_hWnd);
    CSkinScrollWnd* frame = Wrap(edit);
    ASSERT_NE(frame, nullptr);
    const HWND f = frame->m_hWnd;
    const HWND vbar = frame->VerticalBar().m_hWnd;
    const HWND hbar = frame->HorizontalBar().m_hWnd;
    const HWND clip = ::GetParent(edit);

    EXPECT_EQ(HasStyle(f, WS_BORDER), c.frameBorder);
    EXPECT_FALSE(HasStyle(edit, WS_BORDER));
    EXPECT_EQ(HasExStyle(f, WS_EX_CLIENTEDGE), c.frameClientEdge);
    EXPECT_FALSE(HasExStyle(edit, WS_EX_CLIENTEDGE));
    const RECT control = RectIn(edit, clip);
    EXPECT_EQ(Width(control), Width(before) + c.widthChange);
    EXPECT_EQ(Height(control), Height(before) + c.widthChange);

    EXPECT_EQ(HasStyle(vbar, WS_VISIBLE), c.vertical);
    EXPECT_EQ(HasStyle(hbar, WS_VISIBLE), c.horizontal);
    // The clip window leaves the strips of the visible bars free.
    RECT client{};
    ::GetClientRect(f, &client);
    const RECT clipRect = RectIn(clip, f);
    EXPECT_EQ(clipRect.left, c.vertical && c.left ? kSide : 0);
    EXPECT_EQ(clipRect.right, c.vertical && !c.left ? client.right - kSide : client.right);
    EXPECT_EQ(clipRect.top, 0);
    EXPECT_EQ(clipRect.bottom, c.horizontal ? client.bottom - kSide : client.bottom);

    // The control's client area reaches to the bars, which stand beside and below it.
    const RECT text = ClientRectIn(edit, f);
    if (c.vertical) {
      const RECT v = RectIn(vbar, f);
      EXPECT_EQ(c.left ? v.right : v.left, c.left ? text.left : text.right);
      EXPECT_EQ(Width(v), kSide);
      EXPECT_EQ(SkinColour(0, 0), PixelInFrame(*frame, v.left + kSide / 2, v.top + 3)) << "up arrow";
    }
    if (c.horizontal) {
      const RECT h = RectIn(hbar, f);
      EXPECT_EQ(h.top, text.bottom);
      EXPECT_EQ(Height(h), kSide);
      EXPECT_EQ(SkinColour(4, 0), PixelInFrame(*frame, h.left + 3, h.top + kSide / 2)) << "left arrow";
    }
    // The corner square: column 8, row 0 bottom right; row 1 bottom left.
    const int inset = kSide / 2;
    if (c.vertical && c.horizontal) {
      if (c.left) EXPECT_EQ(PixelInFrame(*frame, inset, client.bottom - inset), SkinColour(8, 1));
      else EXPECT_EQ(PixelInFrame(*frame, client.right - inset, client.bottom - inset), SkinColour(8, 0));
    } else {
      EXPECT_NE(PixelInFrame(*frame, client.right - inset, client.bottom - inset), SkinColour(8, 0));
    }
    ::DestroyWindow(edit);
    testsupport::PumpFor(50);
  }
}

TEST_F(SkinScrollWndTest, TheSkinnedBarsScrollTheControl) {
  const HWND edit = MakeEdit(kBothBars);
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  CSkinScrollBar& vbar = frame->VerticalBar();
  ASSERT_EQ(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  const RECT v = vbar.GetClientRect();

  Click(vbar.m_hWnd, POINT{kSide / 2, v.bottom - 4});  // down arrow
  EXPECT_EQ(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 1);
  EXPECT_EQ(vbar.ScrollInfo().nPos, 1) << "read back after the step";

  // Drag the thumb: the text follows during the drag, the bar takes the position at the drop.
  const int thumbStart = skinscroll::PartRect(skinscroll::kThumb, skinscroll::ScrollValues{vbar.ScrollInfo().nMin,
      vbar.ScrollInfo().nMax, vbar.ScrollInfo().nPage, vbar.ScrollInfo().nPos, -1},
      skinscroll::BarShape{v.bottom, kSide, true}).top;
  testsupport::MoveMouse(testsupport::ToScreen(vbar.m_hWnd, POINT{kSide / 2, thumbStart + 3}));
  testsupport::PressLeft();
  testsupport::MoveMouse(testsupport::ToScreen(vbar.m_hWnd, POINT{kSide / 2, thumbStart + 43}));
  const LRESULT during = ::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(during, 1) << "thumb tracking scrolls the text";
  testsupport::ReleaseLeft();
  testsupport::PumpFor(100);
  const LRESULT after = ::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_EQ(after, during);
  EXPECT_EQ(vbar.ScrollInfo().nPos, ScrollInfoOf(edit, SB_VERT).nPos);
  EXPECT_EQ(vbar.ScrollInfo().nPos, static_cast<int>(after));

  // The horizontal bar's right arrow moves the text sideways.
  CSkinScrollBar& hbar = frame->HorizontalBar();
  const RECT h = hbar.GetClientRect();
  EXPECT_EQ(ScrollInfoOf(edit, SB_HORZ).nPos, 0);
  Click(hbar.m_hWnd, POINT{h.right - 4, kSide / 2});
  EXPECT_GT(ScrollInfoOf(edit, SB_HORZ).nPos, 0);
  EXPECT_EQ(hbar.ScrollInfo().nPos, ScrollInfoOf(edit, SB_HORZ).nPos);
}

TEST_F(SkinScrollWndTest, ContentThatFitsDisablesTheBarOnTheNextBackgroundRepaint) {
  const HWND edit = MakeEdit(kBothBars);
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  CSkinScrollBar& vbar = frame->VerticalBar();
  const SCROLLINFO text = ScrollInfoOf(edit, SB_VERT);
  EXPECT_EQ(vbar.ScrollInfo().nMax, text.nMax);
  EXPECT_EQ(vbar.ScrollInfo().nPage, text.nPage);
  EXPECT_TRUE(vbar.IsWindowEnabled());

  ::SetWindowTextA(edit, "short");
  EXPECT_TRUE(testsupport::PumpUntil([&] { return !vbar.IsWindowEnabled(); }, 2000)) << "disabled by the repaint";
  EXPECT_LT(static_cast<UINT>(vbar.ScrollInfo().nMax), vbar.ScrollInfo().nPage);

  ::SetWindowTextA(edit, LongText(50).c_str());
  EXPECT_TRUE(testsupport::PumpUntil([&] { return vbar.IsWindowEnabled() != FALSE; }, 2000));
}

TEST_F(SkinScrollWndTest, ThePollCopiesTheScrollStateButNeverEnablesOrDisables) {
  const HWND edit = MakeEdit(kBothBars);
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  CSkinScrollBar& vbar = frame->VerticalBar();
  ASSERT_TRUE(vbar.IsWindowEnabled());
  vbar.EnableWindow(FALSE);

  // A scroll of the control that no repaint reports: only the poll can carry it over.
  ::SendMessageA(edit, EM_LINESCROLL, 0, 5);
  ::ValidateRect(edit, nullptr);
  ASSERT_EQ(ScrollInfoOf(edit, SB_VERT).nPos, 5);
  EXPECT_EQ(vbar.ScrollInfo().nPos, 0) << "no background repaint happened";
  EXPECT_TRUE(testsupport::PumpUntil([&] { return vbar.ScrollInfo().nPos == 5; }, 1500)) << "the poll copied it";
  EXPECT_FALSE(vbar.IsWindowEnabled()) << "the poll left the enabled state alone";

  // The next background repaint puts the enabled state right, though the values agree by now.
  ::InvalidateRect(edit, nullptr, TRUE);
  EXPECT_TRUE(testsupport::PumpUntil([&] { return vbar.IsWindowEnabled() != FALSE; }, 2000));
}

TEST_F(SkinScrollWndTest, ThePollLeavesABarAloneWhileItsThumbIsDragged) {
  const HWND edit = MakeEdit(kBothBars);
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  CSkinScrollBar& vbar = frame->VerticalBar();
  testsupport::MoveMouse(testsupport::ToScreen(vbar.m_hWnd, POINT{kSide / 2, kSide + 3}));  // the thumb at 0
  testsupport::PressLeft();
  ASSERT_TRUE(vbar.IsDragging());
  ::SendMessageA(edit, EM_LINESCROLL, 0, 7);
  ::ValidateRect(edit, nullptr);
  testsupport::PumpFor(1200);
  EXPECT_EQ(vbar.ScrollInfo().nPos, 0);
  testsupport::ReleaseLeft();
}

TEST_F(SkinScrollWndTest, DestroyingTheControlUnwrapsItFirstThenRemovesTheFrame) {
  const HWND edit = MakeEdit(kBothBars);
  g_editProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchDestroy)));
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  g_frame = frame->m_hWnd;
  const HWND clip = ::GetParent(edit);
  g_destroy = DestroySeen{};

  ::DestroyWindow(edit);
  ASSERT_TRUE(g_destroy.seen);
  EXPECT_EQ(g_destroy.parent, parent_.m_hWnd) << "back in its own parent";
  EXPECT_EQ(g_destroy.proc, reinterpret_cast<LONG_PTR>(&WatchDestroy)) << "its own procedure again";
  EXPECT_EQ(g_destroy.userData, 0);
  EXPECT_FALSE(g_destroy.frameAlive) << "the frame went before the control's own WM_DESTROY";
  EXPECT_FALSE(::IsWindow(clip));
  EXPECT_EQ(::GetDlgItem(parent_.m_hWnd, kEditId), nullptr);
}

TEST_F(SkinScrollWndTest, DestroyingTheParentTakesTheWrappedControlAndFrameAlong) {
  const HWND edit = MakeEdit(kBothBars);
  g_editProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchDestroy)));
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  g_frame = frame->m_hWnd;
  g_destroy = DestroySeen{};

  parent_.DestroyWindow();
  testsupport::PumpFor(100);
  EXPECT_TRUE(g_destroy.seen);
  EXPECT_FALSE(g_destroy.frameAlive);
  EXPECT_FALSE(::IsWindow(edit));
  EXPECT_FALSE(::IsWindow(g_frame));
}

TEST_F(SkinScrollWndTest, DetachGivesTheControlBackWithTheFramesRectangle) {
  const HWND edit = MakeEdit(kBothBars);
  const LONG_PTR proc = ::GetWindowLongPtrA(edit, GWLP_WNDPROC);
  CSkinScrollWnd* frame = Wrap(edit);
  ASSERT_NE(frame, nullptr);
  const HWND frameWnd = frame->m_hWnd;
  const RECT frameRect = RectIn(frameWnd, parent_.m_hWnd);

  EXPECT_TRUE(DetachSkinScroll(edit));
  EXPECT_FALSE(::IsWindow(frameWnd));
  EXPECT_EQ(::GetParent(edit), parent_.m_hWnd);
  EXPECT_EQ(::GetDlgItem(parent_.m_hWnd, kEditId), edit);
  EXPECT_EQ(::GetWindowLongPtrA(edit, GWLP_WNDPROC), proc);
  EXPECT_EQ(::GetWindowLongPtrA(edit, GWLP_USERDATA), 0);
  const RECT now = RectIn(edit, parent_.m_hWnd);
  EXPECT_TRUE(::EqualRect(&now, &frameRect));

  EXPECT_TRUE(DetachSkinScroll(edit)) << "nothing left to undo";
  ::SetWindowLongPtrA(edit, GWLP_USERDATA, 0x1234);
  EXPECT_TRUE(DetachSkinScroll(edit)) << "someone else's user data is no frame";
  EXPECT_EQ(::GetParent(edit), parent_.m_hWnd);
}

// The update window's use: a dialog binds its notice box to an edit object, wraps it, fills it,
// and later ends, taking the wrapped box with it.
class NoticeDialog : public framework::CDialog {
 public:
  explicit NoticeDialog(HBITMAP skin) : CDialog(kNoticeDialog), skin_(skin) {}
  void DoDataExchange() override { DDX_Control(kEditId, notice); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    AttachSkinScroll(notice.m_hWnd, skin_);
    notice.SetWindowText(LongText(50));
    notice.SetMargins(5, 3);
    SetTimer(1, 300);
    return TRUE;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_TIMER || wParam != 1) return CDialog::WindowProc(message, wParam, lParam);
    KillTimer(1);
    frame = GetDlgItem(kEditId);
    auto* vbar = static_cast<CSkinScrollBar*>(FromHandlePermanent(::GetDlgItem(frame, 101)));
    if (vbar) {
      barShown = HasStyle(vbar->m_hWnd, WS_VISIBLE) && vbar->IsWindowEnabled();
      // As the bar sends a page step.
      ::SendMessageA(frame, WM_VSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(vbar->m_hWnd));
      firstLineAfterPage = notice.GetFirstVisibleLine();
      barPosAfterPage = vbar->ScrollInfo().nPos;
    }
    EndDialog(IDOK);
    return 0;
  }

  framework::CEdit notice;
  HWND frame = nullptr;
  bool barShown = false;
  int firstLineAfterPage = 0;
  int barPosAfterPage = -1;

 private:
  HBITMAP skin_;
};

TEST_F(SkinScrollWndTest, ADialogsNoticeBoxScrollsWithTheSkinnedBarsAndGoesWithTheDialog) {
  NoticeDialog dialog(static_cast<HBITMAP>(skin_.Get()));
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_NE(dialog.frame, nullptr);
  EXPECT_TRUE(dialog.barShown);
  EXPECT_GT(dialog.firstLineAfterPage, 0);
  EXPECT_EQ(dialog.barPosAfterPage, dialog.firstLineAfterPage);
  EXPECT_EQ(dialog.notice.m_hWnd, nullptr) << "the edit object let go of its destroyed window";
  EXPECT_FALSE(::IsWindow(dialog.frame));
}

}  // namespace
