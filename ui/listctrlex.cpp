#include "ui/listctrlex.h"

CListCtrlEx::CListCtrlEx() = default;
CListCtrlEx::~CListCtrlEx() = default;
void CListCtrlEx::AddItem(std::string, int, BOOL, BOOL) {}
void CListCtrlEx::AddHiddenItem() {}
BOOL CListCtrlEx::IsAnyChecked() const {
  for (const auto& button : m_rowButtons)
    if (button->m_nRowChecked == 1) return TRUE;
  return FALSE;
}
void CListCtrlEx::PreSubclassWindow() {}
BOOL CListCtrlEx::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }
LRESULT CListCtrlEx::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CListCtrl::WindowProc(message, wParam, lParam);
}
