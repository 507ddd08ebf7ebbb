#include "ui/skinscrollbar.h"

#include <windowsx.h>

#include "framework/scopedhandle.h"
#include "ui/skinblits.h"
#include "ui/skinpaint.h"

using namespace skinscroll;

namespace {

// Timers on the bar's own window.
constexpr UINT_PTR kRepeatTimer = 100;
constexpr UINT_PTR kDelayTimer = 200;
constexpr UINT kRepeatDelay = 500;
constexpr UINT kRepeatInterval = 100;

bool IsArrow(int part) { return part == kLineUp || part == kLineDown; }

POINT PointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

}  // namespace

CSkinScrollBar::CSkinScrollBar() {
  m_info.cbSize = sizeof(m_info);
  m_info.nTrackPos = -1;
}

bool CSkinScrollBar::IsVertical() const { return (GetStyle() & SBS_VERT) != 0; }

ScrollValues CSkinScrollBar::Values() const {
  ScrollValues values;
  values.min = m_info.nMin;
  values.max = m_info.nMax;
  values.page = m_info.nPage;
  values.pos = m_info.nPos;
  values.trackPos = m_info.nTrackPos;
  return values;
}

BarShape CSkinScrollBar::Shape() const { return BarShape{m_nLength, m_nSlice, IsVertical()}; }

skin::Rect CSkinScrollBar::PartRect(int part) const { return skinscroll::PartRect(part, Values(), Shape()); }

int CSkinScrollBar::PartAt(POINT point) const { return skinscroll::PartAt(point.x, point.y, Values(), Shape()); }

skin::Rect CSkinScrollBar::SliceRect(int part, int state) const {
  return skinscroll::SliceRect(part, SkinRow(state, m_nSlice, m_nSkinHeight), m_nSlice, IsVertical());
}

skin::Blits CSkinScrollBar::ArrowBlits(int part, int state) const {
  return skin::StretchBlits(PartRect(part), SliceRect(part, state));
}

skin::Blits CSkinScrollBar::ThumbBlits(const skin::Rect& dest, int state) const {
  return skin::ThumbBlits(dest, SliceRect(kThumb, state), IsVertical());
}

skin::Blits CSkinScrollBar::TrackBlits(const skin::Rect& dest) const {
  return skin::TileBlits(dest, SliceRect(kPageUp, kNormal));
}

void CSkinScrollBar::PaintOnWindow(const skin::Blits& blits) {
  if (!m_hSkin) return;
  framework::ScopedWindowDC dc(m_hWnd);
  skin::PaintBlits(dc.Get(), m_hSkin, blits);
}

void CSkinScrollBar::AttachBitmap(HBITMAP hSkin) {
  m_hSkin = hSkin;
  BITMAP bm{};
  if (hSkin && ::GetObjectA(hSkin, sizeof(bm), &bm)) {
    m_nSlice = bm.bmWidth / kSkinColumns;
    m_nSkinHeight = bm.bmHeight;
  }
  RECT rc = GetWindowRect();
  ::MapWindowPoints(HWND_DESKTOP, GetParent(), reinterpret_cast<POINT*>(&rc), 2);
  if (IsVertical()) rc.right = rc.left + m_nSlice;
  else rc.bottom = rc.top + m_nSlice;
  ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void CSkinScrollBar::SendScroll(int code, int position) {
  const UINT message = IsVertical() ? WM_VSCROLL : WM_HSCROLL;
  ::SendMessageA(GetParent(), message, MAKEWPARAM(code, position & 0xFFFF), reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CSkinScrollBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case SBM_SETSCROLLINFO:
      return OnSetScrollInfo(static_cast<BOOL>(wParam), reinterpret_cast<const SCROLLINFO*>(lParam));
    case SBM_GETSCROLLINFO:
      return OnGetScrollInfo(reinterpret_cast<SCROLLINFO*>(lParam));
    // GetScrollPos / GetScrollRange and the range messages would otherwise meet the standard
    // bar's own, stale state. (SetScrollPos and SBM_SETPOS already arrive as SBM_SETSCROLLINFO.)
    case SBM_GETPOS:
      return m_info.nPos;
    case SBM_GETRANGE:
      if (wParam) *reinterpret_cast<int*>(wParam) = m_info.nMin;
      if (lParam) *reinterpret_cast<int*>(lParam) = m_info.nMax;
      return 0;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
      SCROLLINFO range{sizeof(range), SIF_RANGE, static_cast<int>(wParam), static_cast<int>(lParam), 0, 0, 0};
      OnSetScrollInfo(message == SBM_SETRANGEREDRAW, &range);
      return m_info.nPos;
    }
    case WM_LBUTTONDBLCLK:
      // The second press of a double click does nothing; the first one has stepped already.
      return TRUE;
    case WM_SIZE: {
      const LRESULT result = Default();
      m_nLength = IsVertical() ? HIWORD(lParam) : LOWORD(lParam);
      return result;
    }
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ENABLE: {
      // The standard bar draws its own look when enabled or disabled; ours goes back over it.
      const LRESULT result = Default();
      ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      return result;
    }
    case WM_LBUTTONDOWN:
      OnLButtonDown(PointOf(lParam));
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(wParam), PointOf(lParam));
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp(PointOf(lParam));
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != m_hWnd && (m_bDragging || m_nPressedPart != kNoPart)) {
        POINT point{};
        ::GetCursorPos(&point);
        ::ScreenToClient(m_hWnd, &point);
        EndPress(point);
      }
      return Default();
    case WM_TIMER:
      if (wParam != kRepeatTimer && wParam != kDelayTimer) return Default();
      OnTimer(wParam);
      return 0;
    case WM_MOUSELEAVE:
      m_bLeaveTracked = FALSE;
      // A drag follows only real pointer moves: the leave point is no place for the thumb.
      if (!m_bDragging) OnMouseMove(static_cast<UINT>(-1), POINT{-1, -1});
      return 0;
    default:
      return Default();
  }
}

LRESULT CSkinScrollBar::OnSetScrollInfo(BOOL redraw, const SCROLLINFO* info) {
  if (!info) return FALSE;
  if (info->fMask & SIF_PAGE) m_info.nPage = info->nPage;
  if (info->fMask & SIF_POS) m_info.nPos = info->nPos;
  if (info->fMask & SIF_RANGE) {
    m_info.nMin = info->nMin;
    m_info.nMax = info->nMax;
  }
  if (redraw) PaintTrackAndThumb();
  return TRUE;
}

LRESULT CSkinScrollBar::OnGetScrollInfo(SCROLLINFO* info) const {
  if (!info) return FALSE;
  if (info->fMask & SIF_PAGE) info->nPage = m_info.nPage;
  if (info->fMask & SIF_POS) info->nPos = m_info.nPos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = m_info.nTrackPos;
  if (info->fMask & SIF_RANGE) {
    info->nMin = m_info.nMin;
    info->nMax = m_info.nMax;
  }
  return TRUE;
}

void CSkinScrollBar::OnPaint() {
  framework::ScopedPaintDC paint(m_hWnd);
  if (!m_hSkin) return;
  skin::Blits blits = ArrowBlits(kLineUp, kNormal);
  skin::Append(blits, ArrowBlits(kLineDown, kNormal));
  skin::Append(blits, ThumbBlits(PartRect(kThumb), kNormal));
  skin::Append(blits, TrackBlits(PartRect(kPageUp)));
  skin::Append(blits, TrackBlits(PartRect(kPageDown)));
  skin::PaintBlits(paint.Get(), m_hSkin, blits);
}

void CSkinScrollBar::PaintArrow(int part, int state) { PaintOnWindow(ArrowBlits(part, state)); }

void CSkinScrollBar::PaintThumbOnWindow(int state) { PaintOnWindow(ThumbBlits(PartRect(kThumb), state)); }

void CSkinScrollBar::PaintTrackAndThumb() {
  skin::Blits blits = TrackBlits(PartRect(kPageUp));
  skin::Append(blits, TrackBlits(PartRect(kPageDown)));
  skin::Append(blits, ThumbBlits(PartRect(kThumb), kNormal));
  PaintOnWindow(blits);
}

void CSkinScrollBar::OnLButtonDown(POINT point) {
  ::SetCapture(m_hWnd);
  const int part = PartAt(point);
  if (part == kThumb) {
    m_bDragging = TRUE;
    m_ptDragStart = point;
    m_info.nTrackPos = m_info.nPos;
    m_nDragStartPos = m_info.nPos;
    return;
  }
  if (part == kNoPart) return;
  m_nPressedPart = part;
  SendScroll(part);
  SetTimer(kDelayTimer, kRepeatDelay);
  m_bRepeatPaused = FALSE;
  if (IsArrow(part)) PaintArrow(part, kPressed);
}

void CSkinScrollBar::OnMouseMove(UINT flags, POINT point) {
  if (!m_bLeaveTracked && flags != static_cast<UINT>(-1)) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_hWnd, 0};
    m_bLeaveTracked = ::_TrackMouseEvent(&track);
  }
  if (m_bDragging) {
    DragTo(point);
    return;
  }
  if (m_nPressedPart != kNoPart) {
    m_bRepeatPaused = !PartRect(m_nPressedPart).Contains(point.x, point.y);
    if (IsArrow(m_nPressedPart)) PaintArrow(m_nPressedPart, m_bRepeatPaused ? kNormal : kPressed);
    return;
  }
  const int part = PartAt(point);
  if (part == m_nHoverPart) return;
  if (m_nHoverPart == kThumb) PaintThumbOnWindow(kNormal);
  else if (IsArrow(m_nHoverPart)) PaintArrow(m_nHoverPart, kNormal);
  if (part == kThumb) PaintThumbOnWindow(kHover);
  else if (IsArrow(part)) PaintArrow(part, kHover);
  m_nHoverPart = part;
}

void CSkinScrollBar::DragTo(POINT point) {
  const int distance = IsVertical() ? point.y - m_ptDragStart.y : point.x - m_ptDragStart.x;
  const int position = DragPosition(Values(), Shape(), m_nDragStartPos, distance);
  if (position == m_info.nTrackPos) return;
  const skin::Rect before = PartRect(kThumb);
  m_info.nTrackPos = position;
  const skin::Rect after = PartRect(kThumb);
  // The piece of track the thumb has just left.
  skin::Rect uncovered = before;
  if (IsVertical()) {
    if (after.bottom > before.bottom) uncovered.bottom = after.top;
    else uncovered.top = after.bottom;
  } else {
    if (after.right > before.right) uncovered.right = after.left;
    else uncovered.left = after.right;
  }
  skin::Blits blits = TrackBlits(uncovered);
  skin::Append(blits, ThumbBlits(after, kNormal));
  PaintOnWindow(blits);
  SendScroll(SB_THUMBTRACK, position);
}

void CSkinScrollBar::OnLButtonUp(POINT point) {
  EndPress(point);
  ::ReleaseCapture();
}

void CSkinScrollBar::EndPress(POINT point) {
  if (m_bDragging) {
    m_bDragging = FALSE;
    SendScroll(SB_THUMBPOSITION, m_info.nTrackPos);
    // The owner kept its position: the thumb's dragged image goes.
    if (m_info.nTrackPos != m_info.nPos) PaintOnWindow(TrackBlits(PartRect(kThumb)));
    m_info.nTrackPos = -1;
    PaintThumbOnWindow(PartRect(kThumb).Contains(point.x, point.y) ? kHover : kNormal);
    return;
  }
  if (m_nPressedPart == kNoPart) return;
  if (m_bRepeating) {
    KillTimer(kRepeatTimer);
    m_bRepeating = FALSE;
  } else {
    KillTimer(kDelayTimer);
  }
  const int part = m_nPressedPart;
  m_nPressedPart = kNoPart;
  if (IsArrow(part)) PaintArrow(part, kNormal);
}

void CSkinScrollBar::OnTimer(UINT_PTR id) {
  if (m_nPressedPart == kNoPart) {
    KillTimer(id);
    return;
  }
  if (id == kDelayTimer) {
    m_bRepeating = TRUE;
    KillTimer(kDelayTimer);
    SetTimer(kRepeatTimer, kRepeatInterval);
  }
  OnRepeat();
}

void CSkinScrollBar::OnRepeat() {
  if (m_bRepeatPaused) return;
  switch (m_nPressedPart) {
    case kLineUp:
      if (m_info.nPos <= m_info.nMin) KillTimer(kRepeatTimer);
      else SendScroll(kLineUp);
      break;
    case kLineDown:
      if (m_info.nPos >= m_info.nMax) KillTimer(kRepeatTimer);
      else SendScroll(kLineDown);
      break;
    case kPageUp:
    case kPageDown: {
      // Paging stops once the thumb has come under the pointer.
      POINT pointer{};
      ::GetCursorPos(&pointer);
      ::ScreenToClient(m_hWnd, &pointer);
      if (PartRect(kThumb).Contains(pointer.x, pointer.y)) KillTimer(kRepeatTimer);
      else SendScroll(m_nPressedPart);
      break;
    }
    default:
      break;
  }
}
