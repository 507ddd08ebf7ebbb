#include "ui/xskinbutton.h"

CxSkinButton::CxSkinButton() : m_crCaption(::GetSysColor(COLOR_BTNTEXT)) {}
CxSkinButton::~CxSkinButton() = default;
void CxSkinButton::LoadFaces(UINT, UINT, UINT, UINT, UINT, UINT, short, short, short) {}
void CxSkinButton::PreSubclassWindow() {}
BOOL CxSkinButton::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }
LRESULT CxSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CButton::WindowProc(message, wParam, lParam);
}
