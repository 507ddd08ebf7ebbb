#include "ui/skinscrollwnd.h"

#include <memory>

#include "framework/scopedhandle.h"
#include "ui/scrollgeometry.h"
#include "ui/skinpaint.h"

namespace {

constexpr UINT kClipId = 200;
constexpr UINT kHorzBarId = 100;
constexpr UINT kVertBarId = 101;
constexpr UINT kPollTimer = 100;
constexpr UINT kPollInterval = 500;
// Posted by the frame to itself once the control has worked out its non-client area.
constexpr UINT kLayoutMessage = WM_USER + 100;
// A class-specific style bit the frame has always carried.
constexpr DWORD kFrameClassStyleBit = 0x100;

// Marks a control as wrapped, beside the frame's address in its user data: user data alone could
// hold anyone's value.
const char kFrameProperty[] = "TalvoUpdate.SkinScrollFrame";

CSkinScrollWnd* FrameOf(HWND hControl) {
  if (!hControl) return nullptr;
  auto* frame = reinterpret_cast<CSkinScrollWnd*>(::GetWindowLongPtrA(hControl, GWLP_USERDATA));
  if (!frame || ::GetPropA(hControl, kFrameProperty) != frame) return nullptr;
  return frame;
}

RECT RectInParent(HWND hWnd) {
  RECT rc{};
  ::GetWindowRect(hWnd, &rc);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hWnd), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void MoveTo(HWND hWnd, const RECT& rc) {
  ::MoveWindow(hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

bool ScrollValuesDiffer(const SCROLLINFO& a, const SCROLLINFO& b) {
  return a.nMax != b.nMax || a.nMin != b.nMin || a.nPos != b.nPos || a.nPage != b.nPage;
}

bool ReadScrollInfo(HWND hWnd, int bar, SCROLLINFO* info) {
  *info = SCROLLINFO{};
  info->cbSize = sizeof(SCROLLINFO);
  info->fMask = SIF_ALL;
  return ::GetScrollInfo(hWnd, bar, info) != FALSE;
}

bool HasStyle(HWND hWnd, DWORD style) { return (::GetWindowLongA(hWnd, GWL_STYLE) & style) != 0; }

}  // namespace

HWND CSkinScrollWnd::Control() const {
  return m_wndClip.m_hWnd ? ::GetWindow(m_wndClip.m_hWnd, GW_CHILD) : nullptr;
}

BOOL CSkinScrollWnd::Wrap(HWND hControl, HBITMAP hSkin) {
  const HWND hParent = ::GetParent(hControl);
  if (m_hWnd || !hParent) return FALSE;
  m_hSkin = hSkin;
  BITMAP bm{};
  if (::GetObjectA(hSkin, sizeof(bm), &bm)) m_nBarWidth = bm.bmWidth / skinscroll::kSkinColumns;

  const RECT rcFrame = RectInParent(hControl);
  RECT rcCtl{0, 0, rcFrame.right - rcFrame.left, rcFrame.bottom - rcFrame.top};
  const UINT id = static_cast<UINT>(::GetDlgCtrlID(hControl));
  DWORD style = static_cast<DWORD>(::GetWindowLongA(hControl, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(::GetWindowLongA(hControl, GWL_EXSTYLE));

  DWORD frameStyle = WS_CHILD | kFrameClassStyleBit;
  DWORD frameExStyle = 0;
  if (exStyle & WS_EX_TOOLWINDOW) frameExStyle |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  if (style & WS_VISIBLE) frameStyle |= WS_VISIBLE;
  // The border moves to the frame, so the bars sit inside it.
  if (style & WS_BORDER) {
    frameStyle |= WS_BORDER;
    style &= ~WS_BORDER;
    const int border = 2 * ::GetSystemMetrics(SM_CXBORDER);
    rcCtl.right -= border;
    rcCtl.bottom -= border;
  }
  if (exStyle & WS_EX_CLIENTEDGE) {
    exStyle &= ~WS_EX_CLIENTEDGE;
    frameExStyle |= WS_EX_CLIENTEDGE;
    const int edge = 2 * ::GetSystemMetrics(SM_CXEDGE);
    rcCtl.right -= edge;
    rcCtl.bottom -= edge;
  } else {
    rcCtl.right += 1;
    rcCtl.bottom += 1;
  }

  const RECT empty{0, 0, 0, 0};
  if (!CreateEx(frameExStyle, framework::RegisterWndClass(0, nullptr, nullptr, nullptr),
                "SkinScrollBarFrame", frameStyle, rcFrame, hParent, id))
    return FALSE;
  if (!m_wndClip.CreateEx(0, framework::DefaultWndClass(), "LIMIT", WS_CHILD | WS_VISIBLE, empty,
                          m_hWnd, kClipId) ||
      !m_sbHorz.CreateEx(0, "SCROLLBAR", "", WS_CHILD | SBS_HORZ, empty, m_hWnd, kHorzBarId) ||
      !m_sbVert.CreateEx(0, "SCROLLBAR", "", WS_CHILD | SBS_VERT, empty, m_hWnd, kVertBarId))
    return FALSE;
  m_sbHorz.AttachBitmap(hSkin);
  m_sbVert.AttachBitmap(hSkin);
  // The frame stands where the control stood among its siblings.
  ::SetWindowPos(m_hWnd, hControl, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  ::SetWindowLongA(hControl, GWL_STYLE, static_cast<LONG>(style));
  ::SetWindowLongA(hControl, GWL_EXSTYLE, static_cast<LONG>(exStyle));
  ::SetParent(hControl, m_wndClip.m_hWnd);
  ::SetPropA(hControl, kFrameProperty, this);
  ::SetWindowLongPtrA(hControl, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_pfnOldProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hControl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ScrollHostProc)));
  // A new size makes the control work out its non-client area again (WM_NCCALCSIZE below).
  MoveTo(hControl, rcCtl);
  SetTimer(kPollTimer, kPollInterval);
  return TRUE;
}

LRESULT CSkinScrollWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE: {
      const LRESULT result = Default();
      OnSize(LOWORD(lParam), HIWORD(lParam));
      return result;
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
      ForwardScroll(message, wParam);
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_TIMER:
      if (wParam != kPollTimer) return Default();
      PollBar(SB_VERT);
      PollBar(SB_HORZ);
      return 0;
    case kLayoutMessage:
      OnLayout(wParam != 0, lParam != 0);
      return 0;
    default:
      return Default();
  }
}

void CSkinScrollWnd::OnSize(int cx, int cy) {
  if (cx == 0 || cy == 0 || !m_wndClip.m_hWnd) return;
  if (const HWND hControl = Control()) ::MoveWindow(hControl, 0, 0, cx, cy, TRUE);
}

void CSkinScrollWnd::ForwardScroll(UINT message, WPARAM wParam) {
  const HWND hControl = Control();
  if (!hControl) return;
  const int code = LOWORD(wParam);
  m_bBusy = TRUE;
  ::SendMessageA(hControl, message, MAKEWPARAM(code, HIWORD(wParam)), 0);
  m_bBusy = FALSE;
  // While the thumb is dragged the bar shows the track position itself.
  if (code == SB_THUMBTRACK) return;
  const int bar = message == WM_VSCROLL ? SB_VERT : SB_HORZ;
  SCROLLINFO info;
  if (ReadScrollInfo(hControl, bar, &info)) ::SetScrollInfo(BarFor(bar).m_hWnd, SB_CTL, &info, TRUE);
}

void CSkinScrollWnd::CopyStateOnErase(HWND hControl) {
  for (int bar : {SB_VERT, SB_HORZ}) {
    if (!HasStyle(hControl, bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) continue;
    SCROLLINFO info;
    if (!ReadScrollInfo(hControl, bar, &info)) continue;
    CSkinScrollBar& skinBar = BarFor(bar);
    if (ScrollValuesDiffer(info, skinBar.ScrollInfo())) ::SetScrollInfo(skinBar.m_hWnd, SB_CTL, &info, TRUE);
    // Brought in line on every background repaint, not only on a change: the poll may have
    // copied the change already.
    const BOOL enable = skinscroll::HasScrollRange(info.nMin, info.nMax, info.nPage);
    if (!skinBar.IsWindowEnabled() != !enable) skinBar.EnableWindow(enable);
  }
}

void CSkinScrollWnd::PollBar(int bar) {
  CSkinScrollBar& skinBar = BarFor(bar);
  const HWND hControl = Control();
  if (!hControl || !HasStyle(skinBar.m_hWnd, WS_VISIBLE) || skinBar.IsDragging()) return;
  SCROLLINFO controlInfo;
  if (!ReadScrollInfo(hControl, bar, &controlInfo)) return;
  SCROLLINFO barInfo;
  if (!ReadScrollInfo(skinBar.m_hWnd, SB_CTL, &barInfo)) return;
  if (ScrollValuesDiffer(controlInfo, barInfo)) ::SetScrollInfo(skinBar.m_hWnd, SB_CTL, &controlInfo, TRUE);
}

void CSkinScrollWnd::OnControlNcCalcSize(HWND hControl, NCCALCSIZE_PARAMS* params) {
  const DWORD style = static_cast<DWORD>(::GetWindowLongA(hControl, GWL_STYLE));
  const bool left = (::GetWindowLongA(hControl, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  const bool vertical = (style & WS_VSCROLL) != 0;
  const bool horizontal = (style & WS_HSCROLL) != 0;
  const int w = m_nBarWidth;
  const int widen = ::GetSystemMetrics(SM_CXVSCROLL) - w;
  RECT& c = params->rgrc[0];
  if (vertical) {
    if (left) c.left -= widen;
    else c.right += widen;
  }
  if (horizontal) c.bottom += widen;

  RECT rcVert, rcHorz;
  if (left) {
    rcVert = RECT{c.left - w, 0, c.left, c.bottom};
    rcHorz = RECT{c.left, c.bottom, c.right, c.bottom + w};
  } else {
    rcVert = RECT{c.right, 0, c.right + w, c.bottom};
    rcHorz = RECT{0, c.bottom, c.right, c.bottom + w};
  }
  m_nCorner = (vertical && horizontal) ? (left ? skinscroll::kBottomLeft : skinscroll::kBottomRight)
                                       : skinscroll::kNoCorner;
  if (vertical) {
    MoveTo(m_sbVert.m_hWnd, rcVert);
    m_sbVert.ShowWindow(SW_SHOW);
  } else {
    m_sbVert.ShowWindow(SW_HIDE);
  }
  if (horizontal) {
    MoveTo(m_sbHorz.m_hWnd, rcHorz);
    m_sbHorz.ShowWindow(SW_SHOW);
  } else {
    m_sbHorz.ShowWindow(SW_HIDE);
  }
  PostMessage(kLayoutMessage, style & WS_VSCROLL, left ? WS_EX_LEFTSCROLLBAR : 0);
}

void CSkinScrollWnd::OnLayout(BOOL vertical, BOOL left) {
  m_bBusy = TRUE;
  const RECT rcClient = GetClientRect();
  RECT rcClip = rcClient;
  int x = 0;
  // The bar's own visibility, whether or not the dialog shows yet.
  if (HasStyle(m_sbHorz.m_hWnd, WS_VISIBLE)) rcClip.bottom -= m_nBarWidth;
  if (vertical) {
    if (left) {
      rcClip.left += m_nBarWidth;
      x = -m_nBarWidth;
    } else {
      rcClip.right -= m_nBarWidth;
    }
  }
  MoveTo(m_wndClip.m_hWnd, rcClip);
  if (const HWND hControl = Control())
    ::SetWindowPos(hControl, nullptr, x, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_bBusy = FALSE;
}

void CSkinScrollWnd::OnPaint() {
  framework::ScopedPaintDC paint(m_hWnd);
  if (m_nCorner == skinscroll::kNoCorner || !m_hSkin) return;
  BITMAP bm{};
  ::GetObjectA(m_hSkin, sizeof(bm), &bm);
  const skinscroll::CornerSquare corner =
      skinscroll::PlaceCorner(m_nCorner, skin::FromRECT(GetClientRect()), m_nBarWidth, bm.bmHeight);
  skin::PaintBlits(paint.Get(), m_hSkin, skin::CopyBlits(corner.dest, corner.source));
}

LRESULT CALLBACK ScrollHostProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CSkinScrollWnd* frame = FrameOf(hWnd);
  if (!frame) return ::DefWindowProcA(hWnd, message, wParam, lParam);
  const WNDPROC oldProc = frame->m_pfnOldProc;
  if (message == WM_DESTROY) {
    DetachSkinScroll(hWnd);
    return ::CallWindowProcA(oldProc, hWnd, message, wParam, lParam);
  }
  const LRESULT result = ::CallWindowProcA(oldProc, hWnd, message, wParam, lParam);
  // The control's own processing may have unwrapped it.
  frame = FrameOf(hWnd);
  if (!frame || frame->m_bBusy) return result;
  try {
    if (message == WM_ERASEBKGND) frame->CopyStateOnErase(hWnd);
    else if (message == WM_NCCALCSIZE && wParam && lParam)
      frame->OnControlNcCalcSize(hWnd, reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam));
  } catch (...) {
  }
  return result;
}

CSkinScrollWnd* AttachSkinScroll(HWND hWnd, HBITMAP hSkin) {
  if (!hWnd || !::IsWindow(hWnd) || !hSkin) return nullptr;
  if (CSkinScrollWnd* existing = FrameOf(hWnd)) return existing;
  try {
    auto frame = std::make_unique<CSkinScrollWnd>();
    if (!frame->Wrap(hWnd, hSkin)) return nullptr;
    // From here the control's user data holds the frame; DetachSkinScroll takes it back.
    return frame.release();
  } catch (...) {
    return nullptr;
  }
}

BOOL DetachSkinScroll(HWND hWnd) {
  CSkinScrollWnd* const wrapped = FrameOf(hWnd);
  if (!wrapped) return TRUE;
  const std::unique_ptr<CSkinScrollWnd> frame(wrapped);
  const HWND hParent = frame->GetParent();
  const RECT rect = RectInParent(frame->m_hWnd);
  ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(frame->m_pfnOldProc));
  ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
  ::RemovePropA(hWnd, kFrameProperty);
  ::SetParent(hWnd, hParent);
  MoveTo(hWnd, rect);
  frame->DestroyWindow();
  return TRUE;
}
