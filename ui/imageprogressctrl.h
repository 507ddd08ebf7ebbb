// The update window's progress bar: background and bar from bitmap pieces, a centred percentage
// caption in two colours, composed off-screen. Range and position stay with the platform's
// progress control.
#pragma once
#include <windows.h>

#include "framework/memorycanvas.h"
#include "framework/progressctrl.h"
#include "framework/scopedhandle.h"
#include "ui/skinrules.h"

class CImageProgressCtrl : public framework::CProgressCtrl {
 public:
  CImageProgressCtrl();
  ~CImageProgressCtrl() override;

  // part 0 start cap, 1 middle, 2 end cap, 3 whole background / block. Takes effect at the next
  // paint; a bitmap that cannot be loaded leaves the slot empty.
  void SetBkBitmap(int part, UINT bitmapId);
  void SetBarBitmap(int part, UINT bitmapId);

  // Composes the control off-screen over what `target` shows and copies it there at (0, 0).
  void PaintTo(HDC target);

  // Moves are shown at most this often, the last one always. A caller that paces its moves
  // itself (the update window, a little under every 50 ms) stays above it and is never held back.
  static constexpr DWORD kMoveRepaintMs = 30;

  framework::UniqueBitmap m_bmpBk[4];
  framework::UniqueBitmap m_bmpBar[4];
  BITMAP m_infoBk[4] = {};
  BITMAP m_infoBar[4] = {};
  COLORREF m_crHighlight;
  COLORREF m_crShadow;
  COLORREF m_crFace;
  COLORREF m_crBar;      // caption outside the filled part
  COLORREF m_crBarText;  // caption over the filled part
  framework::UniqueGdiObject m_font;
  int m_bHorizontal = 1;
  RECT m_rcClient{};  // the painted area, fixed when the window is attached

  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // Set while the platform handles a position change: its immediate repaint is left for the next
  // idle moment of the window's thread, so a run of steps costs one paint.
  bool m_bPaintLater = false;
  // The resource bar slot 3 was last loaded from: the block is loaded when it is set, and a paint
  // loads it only when the slot holds another picture (or none was ever set).
  UINT m_nBlockId = 0;
  static constexpr UINT_PTR kRepaintTimer = 0x7A1;  // the platform's own timer (marquee) is 1
  bool m_bMoved = false;          // a move waits to be shown
  bool m_bRepaintTimer = false;   // a later paint of a move is scheduled
  DWORD m_dwLastPaint = 0;
  // The window's own paints, some twenty a second while a file arrives, reuse one canvas.
  framework::CMemoryCanvas m_paintCanvas;
  void PaintThrough(HDC target, framework::CMemoryCanvas& canvas);
  void DrawBackground(HDC dc) const;
  // Returns the filled rectangle, where the caption takes the colour of the bar.
  skin::Rect DrawBar(HDC dc, const skin::ProgressValue& value) const;
  void DrawCaption(HDC dc, const skin::ProgressValue& value, const skin::Rect& filled) const;
  skin::ProgressValue ReadValue() const;
};
