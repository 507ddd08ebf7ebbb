#include "framework/progressctrl.h"

#include <commctrl.h>

namespace framework {

void CProgressCtrl::SetRange(int nLower, int nUpper) {
  if (m_hWnd) ::SendMessageA(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(nLower), static_cast<LPARAM>(nUpper));
}

int CProgressCtrl::SetPos(int nPos) {
  if (!m_hWnd) return 0;
  return static_cast<int>(::SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(nPos), 0));
}

int CProgressCtrl::GetPos() const {
  if (!m_hWnd) return 0;
  return static_cast<int>(::SendMessageA(m_hWnd, PBM_GETPOS, 0, 0));
}

}  // namespace framework
