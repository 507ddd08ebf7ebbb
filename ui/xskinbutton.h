// A push button painted from bitmaps, with a hand pointer, hover look and check box / radio logic.
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

  // normal, pressed, hover, disabled, focus, mask: bitmap resource IDs (0 = none).
  void LoadFaces(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT focus, UINT mask,
                 short fillMode, short edge, short inset);

  LONG m_nRowChecked = 0;
  LONG m_nRowLocked = 0;
  HCURSOR m_hHandCursor = nullptr;
  bool m_bChecked = false;
  int m_nKind = 0;
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
};
