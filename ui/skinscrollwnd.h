// Skinned scroll bars for an existing control: a frame takes the control's place, a clip window
// hides the control's own bars, two skin scroll bars stand where they were.
//
//   parent
//     frame "SkinScrollBarFrame" (the control's ID)
//       clip window "LIMIT" (ID 200)
//         the control
//       horizontal bar (ID 100), vertical bar (ID 101)
//
// Scroll commands from the skinned bars reach the control as if its own bars had sent them; the
// control's scroll state is copied into the skinned bars when it repaints its background, after
// every forwarded command but thumb tracking, and by a half-second poll.
#pragma once
#include <windows.h>

#include "framework/wnd.h"
#include "ui/skinscrollbar.h"

class CSkinScrollWnd : public framework::CWnd {
 public:
  CSkinScrollWnd() = default;
  ~CSkinScrollWnd() override = default;

  CSkinScrollBar& HorizontalBar() { return m_sbHorz; }
  CSkinScrollBar& VerticalBar() { return m_sbVert; }
  int BarWidth() const { return m_nBarWidth; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  friend CSkinScrollWnd* AttachSkinScroll(HWND hWnd, HBITMAP hSkin);
  friend BOOL DetachSkinScroll(HWND hWnd);
  friend LRESULT CALLBACK ScrollHostProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  BOOL Wrap(HWND hControl, HBITMAP hSkin);
  HWND Control() const;
  CSkinScrollBar& BarFor(int bar) { return bar == SB_VERT ? m_sbVert : m_sbHorz; }

  // The control's scroll state into the skinned bars.
  void CopyStateOnErase(HWND hControl);
  void PollBar(int bar);
  void ForwardScroll(UINT message, WPARAM wParam);
  // The control's client area reaches to the skinned bars; the bars move beside and below it.
  void OnControlNcCalcSize(HWND hControl, NCCALCSIZE_PARAMS* params);
  void OnLayout(BOOL vertical, BOOL left);
  void OnSize(int cx, int cy);
  void OnPaint();

  int m_nBarWidth = 20;
  CSkinScrollBar m_sbHorz;
  CSkinScrollBar m_sbVert;
  framework::CWnd m_wndClip;
  HBITMAP m_hSkin = nullptr;
  BOOL m_bBusy = FALSE;
  int m_nCorner = 0;
  WNDPROC m_pfnOldProc = nullptr;
};

// Wraps `hWnd` (a control with a parent) with bars painted from `hSkin` (not owned; must outlive
// the control). The frame goes by itself when the control is destroyed. A control wrapped
// already keeps its frame, which is returned.
CSkinScrollWnd* AttachSkinScroll(HWND hWnd, HBITMAP hSkin);
// Undoes the wrapping, when there is one: the control returns to its parent with the frame's
// rectangle and its own procedure. Always TRUE.
BOOL DetachSkinScroll(HWND hWnd);
// The wrapped control's window procedure: its own procedure first, then the frame's share.
LRESULT CALLBACK ScrollHostProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
