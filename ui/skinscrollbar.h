// A scroll bar control painted from a skin bitmap. It keeps its own copy of the scroll state
// (SetScrollInfo / GetScrollInfo on SB_CTL reach it as SBM_SETSCROLLINFO / SBM_GETSCROLLINFO) and
// talks to its parent as a standard bar does: WM_VSCROLL or WM_HSCROLL with a scroll code.
#pragma once
#include <windows.h>

#include "framework/controls.h"
#include "ui/scrollgeometry.h"
#include "ui/skinblits.h"

class CSkinScrollBar : public framework::CScrollBar {
 public:
  CSkinScrollBar();
  ~CSkinScrollBar() override = default;

  // Takes the skin (not owned; nine square columns, see scrollgeometry.h) and makes the existing
  // bar one square thick.
  void AttachBitmap(HBITMAP hSkin);

  BOOL IsDragging() const { return m_bDragging; }
  // The bar's own copy of the scroll state.
  const SCROLLINFO& ScrollInfo() const { return m_info; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool IsVertical() const;
  skinscroll::ScrollValues Values() const;
  skinscroll::BarShape Shape() const;
  skin::Rect PartRect(int part) const;
  int PartAt(POINT point) const;
  skin::Rect SliceRect(int part, int state) const;
  skin::Blits ArrowBlits(int part, int state) const;
  skin::Blits ThumbBlits(const skin::Rect& dest, int state) const;
  // Track squares over `dest`.
  skin::Blits TrackBlits(const skin::Rect& dest) const;

  void SendScroll(int code, int position = 0);
  LRESULT OnSetScrollInfo(BOOL redraw, const SCROLLINFO* info);
  LRESULT OnGetScrollInfo(SCROLLINFO* info) const;
  void OnPaint();
  void OnLButtonDown(POINT point);
  void OnMouseMove(UINT flags, POINT point);
  void OnLButtonUp(POINT point);
  void OnTimer(UINT_PTR id);
  void OnRepeat();
  void DragTo(POINT point);
  // Ends a press or a drag (button released, or the capture taken away).
  void EndPress(POINT point);

  // On the window's DC, outside a paint.
  void PaintOnWindow(const skin::Blits& blits);
  void PaintArrow(int part, int state);
  void PaintThumbOnWindow(int state);
  void PaintTrackAndThumb();

  HBITMAP m_hSkin = nullptr;
  int m_nSlice = 0;
  int m_nLength = 0;
  SCROLLINFO m_info{};
  BOOL m_bDragging = FALSE;
  POINT m_ptDragStart{};
  int m_nDragStartPos = 0;
  int m_nPressedPart = skinscroll::kNoPart;
  BOOL m_bRepeating = FALSE;
  int m_nHoverPart = skinscroll::kNoPart;
  BOOL m_bRepeatPaused = FALSE;
  BOOL m_bLeaveTracked = FALSE;
  int m_nSkinHeight = 0;
};
