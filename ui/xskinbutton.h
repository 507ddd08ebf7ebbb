// A push button painted from bitmaps, with a hand pointer, hover look and check box / radio logic.
// The platform's button procedure still captures the mouse, keeps the pushed state and sends
// BN_CLICKED; this class paints, tracks the hover, sets the pointer and keeps the check state.
#pragma once
#include <windows.h>

#include "framework/controls.h"
#include "framework/scopedhandle.h"

// The message a checked radio button posts to the other items of its dialog group.
constexpr UINT WM_GROUP_UNCHECK = WM_USER + 0x100;

class CxSkinButton : public framework::CButton {
 public:
  CxSkinButton();
  ~CxSkinButton() override;

  // normal, pressed, hover, disabled, focus, mask: bitmap resource IDs (0 = none; mask is not
  // used). fillMode 0 copy, 1 stretch, 2 tile; edge non-zero draws a 3-D edge; inset moves the
  // caption in from both sides. Takes effect at the next paint.
  void LoadFaces(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT focus, UINT mask,
                 short fillMode, short edge, short inset);

  // Paints the button for its owner-draw request (WM_DRAWITEM, reflected from the parent).
  virtual void DrawItem(const DRAWITEMSTRUCT& item);

  // Row flags kept for the component list; the button never reads them.
  LONG m_nRowChecked = 0;
  LONG m_nRowLocked = 0;
  // Set on release; not owned (a copy that lives as long as the process).
  HCURSOR m_hHandCursor = nullptr;
  bool m_bChecked = false;
  int m_nKind = 0;  // skin::ButtonKind
  bool m_bHover = false;
  bool m_bHeld = false;
  framework::UniqueBitmap m_bmpNormal;
  framework::UniqueBitmap m_bmpDown;
  framework::UniqueBitmap m_bmpDisabled;
  framework::UniqueBitmap m_bmpOver;
  framework::UniqueBitmap m_bmpFocus;
  short m_nTextInset = 0;
  COLORREF m_crCaption;
  int m_bEdge = 0;
  short m_nFillMode = 1;

  void PreSubclassWindow() override;
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT OnMouseMove(LPARAM lParam);
  LRESULT OnLButtonDown();
  // What a click or the space key does to a check box or radio button.
  void ToggleByUser();
  void SetCheck(bool requested);
  void PostGroupUncheck();
  bool IsPushed() const;
  bool IsUnder(POINT screenPoint) const;
  void PaintFace(HDC dc, HBITMAP face, const RECT& r) const;

  static HCURSOR LoadHelpHandCursor();
};
