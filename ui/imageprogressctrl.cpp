#include "ui/imageprogressctrl.h"

CImageProgressCtrl::CImageProgressCtrl() = default;
CImageProgressCtrl::~CImageProgressCtrl() = default;
void CImageProgressCtrl::SetBkBitmap(int, UINT) {}
void CImageProgressCtrl::SetBarBitmap(int, UINT) {}
void CImageProgressCtrl::PreSubclassWindow() {}
LRESULT CImageProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CProgressCtrl::WindowProc(message, wParam, lParam);
}
