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

namespace {
// The posted position is waiting to be set.
const UINT WM_POSTED_POS = ::RegisterWindowMessageA("TalvoUpdate.ProgressPostedPos");
}  // namespace

void CProgressCtrl::PostPos(int nPos) {
  const bool bBound = m_hWnd && CWnd::FromHandlePermanent(m_hWnd) == this;
  if (!bBound || ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId()) {
    SetPos(nPos);
    return;
  }
  m_nPostedPos.store(nPos);
  // One message is enough for any number of positions handed over before it is handled.
  if (!m_bPosPosted.exchange(true) && !::PostMessageA(m_hWnd, WM_POSTED_POS, 0, 0)) {
    m_bPosPosted.store(false);
    SetPos(nPos);
  }
}

LRESULT CProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_POSTED_POS && WM_POSTED_POS != 0) {
    m_bPosPosted.store(false);
    SetPos(m_nPostedPos.load());
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

int CProgressCtrl::GetPos() const {
  if (!m_hWnd) return 0;
  return static_cast<int>(::SendMessageA(m_hWnd, PBM_GETPOS, 0, 0));
}

}  // namespace framework
