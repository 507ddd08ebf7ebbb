// The update window's progress bar: background and bar from bitmap pieces, a centred percentage
// caption in two colours, composed off-screen.
#pragma once
#include <windows.h>

#include "framework/progressctrl.h"
#include "framework/scopedhandle.h"

class CImageProgressCtrl : public framework::CProgressCtrl {
 public:
  CImageProgressCtrl();
  ~CImageProgressCtrl() override;

  // part 0 start cap, 1 middle, 2 end cap, 3 whole background / block.
  void SetBkBitmap(int part, UINT bitmapId);
  void SetBarBitmap(int part, UINT bitmapId);

  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
