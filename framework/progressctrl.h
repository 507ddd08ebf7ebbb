// A progress bar window (the platform's "msctls_progress32") seen through its messages.
// Skinned bars derive from it (bound by subclassing); so may test doubles (no window at all).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "framework/wnd.h"

namespace framework {

class CProgressCtrl : public CWnd {
 public:
  CProgressCtrl() = default;
  explicit CProgressCtrl(HWND hWnd) { Attach(hWnd); }

  virtual void SetRange(int nLower, int nUpper);
  // Sent, not posted: from another thread the call returns once the window's thread has
  // handled it. Returns the previous position.
  virtual int SetPos(int nPos);
  virtual int GetPos() const;
  void SetStep(int nStep) {
    if (m_hWnd) ::SendMessageA(m_hWnd, PBM_SETSTEP, static_cast<WPARAM>(nStep), 0);
  }
};

}  // namespace framework
