// A progress bar window (the platform's "msctls_progress32") seen through its messages.
// Skinned bars derive from it (bound by subclassing); so may test doubles (no window at all).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>

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
  // For a worker thread: hands the position over without waiting for the window's thread. The
  // latest position wins and is set (SetPos) when that thread next handles its messages, so the
  // last one is always shown and nothing is shown out of order. From the window's own thread, or
  // for a bar not bound to this object (or no window at all), it is SetPos.
  void PostPos(int nPos);
  void SetStep(int nStep) {
    if (m_hWnd) ::SendMessageA(m_hWnd, PBM_SETSTEP, static_cast<WPARAM>(nStep), 0);
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::atomic<int> m_nPostedPos{0};
  std::atomic<bool> m_bPosPosted{false};
};

}  // namespace framework
